# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

quillon_test(selftest_tests quillon_selftest selftest/SelfTestErrorTest.cpp selftest/FixturesTest.cpp)
if(TARGET quillon)
    quillon_test(selftest_run_tests quillon_platform KIND app selftest/SelfTestRunTest.cpp)
    add_dependencies(selftest_run_tests quillon)
endif()
