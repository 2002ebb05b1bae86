# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

quillon_test(platform_tests quillon_platform
    platform/FormattingTest.cpp platform/PathsTest.cpp platform/ProcessTableTest.cpp platform/TextTest.cpp)
