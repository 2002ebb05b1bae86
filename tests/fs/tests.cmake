# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

quillon_test(fs_tests quillon_fs fs/FsFixture.cpp fs/DirectoryTest.cpp fs/NodeTest.cpp fs/RemoveCheckedTest.cpp)
