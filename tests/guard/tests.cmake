# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

quillon_test(guard_tests quillon_guard guard/CadenceTest.cpp guard/RunningToolsTest.cpp)
