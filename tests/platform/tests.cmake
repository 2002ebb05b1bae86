quillon_test(platform_tests quillon_platform
    platform/ClockTest.cpp
    platform/FileIoTest.cpp
    platform/FormattingTest.cpp
    platform/FreeSpaceTest.cpp
    platform/PathsTest.cpp
    platform/TextTest.cpp
    platform/ProcessTableTest.cpp
    platform/UserDirectoriesTest.cpp)
