quillon_test(core_tests quillon_core
    core/RunControlTest.cpp
    core/DescribeTest.cpp)
