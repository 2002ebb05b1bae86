quillon_test(guard_tests quillon_guard
    guard/CommandTest.cpp
    guard/RunningToolsTest.cpp
    guard/OpenFilesTest.cpp)
