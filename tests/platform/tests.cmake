quillon_test(platform_tests quillon_platform
    platform/FormattingTest.cpp
    platform/PathsTest.cpp
    platform/TextTest.cpp
    platform/ProcessTableTest.cpp
    platform/UserDirectoriesTest.cpp
    platform/PropertyListShapeTest.cpp)
target_link_libraries(platform_tests PRIVATE PkgConfig::PLIST)
