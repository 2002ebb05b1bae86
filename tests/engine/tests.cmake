# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

quillon_test(engine_tests quillon_engine engine/ReportTest.cpp engine/RunLogTest.cpp engine/CleanTest.cpp
    engine/LinuxRowsTest.cpp)
