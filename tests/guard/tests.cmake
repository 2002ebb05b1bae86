quillon_test(guard_tests quillon_guard guard/CadenceTest.cpp guard/RunningToolsTest.cpp)
