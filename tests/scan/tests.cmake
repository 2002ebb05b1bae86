# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

quillon_test(scan_tests quillon_scan fs/FsFixture.cpp scan/OldFilesTest.cpp scan/PlanTest.cpp)
