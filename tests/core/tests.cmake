quillon_test(core_tests quillon_core core/ErrorsTest.cpp)
