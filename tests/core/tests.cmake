# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

quillon_test(core_tests quillon_core core/ErrorsTest.cpp)
