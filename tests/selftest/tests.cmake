quillon_test(selftest_tests quillon_selftest selftest/SelfTestErrorTest.cpp selftest/FixturesTest.cpp)
# The built program's --self-test mode.
if(TARGET quillon)
    quillon_test(selftest_run_tests quillon_platform KIND app selftest/SelfTestRunTest.cpp)
    add_dependencies(selftest_run_tests quillon)
endif()
