// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "tests/fs/FsFixture.h"

#include <sys/syscall.h>

static quillon::fstest::LookUpHook activeHook;

// Takes the C library's place in the test programs that link this file: platform::statAt and statDescriptor reach the
// kernel through it.
extern "C" int statx(int dirfd, const char* path, int flags, unsigned int mask, struct statx* answer) noexcept {
    const long result = ::syscall(SYS_statx, dirfd, path, flags, mask, answer);
    if (result == 0 && activeHook) activeHook(dirfd, path, *answer);
    return static_cast<int>(result);
}

void quillon::fstest::setLookUpHook(LookUpHook hook) { activeHook = std::move(hook); }
