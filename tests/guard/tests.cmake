quillon_test(guard_tests quillon_guard guard/RunningToolsTest.cpp)
