// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// Test-only: the broken safety rules of this library, one per fault variant.
// Compiled with one QUILLON_FAULT_<fault> at a time, and linked only into that
// variant's executables, never into the shipped program: each proves that the
// self-test catches its broken rule.

#include "fs/Directory.h"
#include "fs/Seams.h"
#include "platform/Descriptor.h"
#include "platform/FileStatus.h"

#include <fcntl.h>
#include <unistd.h>

namespace quillon::seams {

#if defined(QUILLON_FAULT_acceptHardLinks)

// The link count is not read.
bool fileLinksAllowed(nlink_t) { return true; }

#elif defined(QUILLON_FAULT_followLinks)

namespace {

void emptyWithoutChecks(int directory, const std::string& name) {
    platform::FileStatus status;
    if (platform::statAt(directory, name, status) && status.type() == S_IFDIR) {
        const platform::Descriptor inner(::openat(directory, name.c_str(), guardedOpenFlags));
        if (inner)
            for (const std::string& entry : names(inner.get())) emptyWithoutChecks(inner.get(), entry);
        ::unlinkat(directory, name.c_str(), AT_REMOVEDIR);
    } else {
        ::unlinkat(directory, name.c_str(), 0);
    }
}

} // namespace

// A link found where a folder was recorded is followed, and what lies there
// is deleted without comparing.
void beforeDirectoryRemoval(int parent, const std::string& name) {
    platform::FileStatus status;
    if (!platform::statAt(parent, name, status) || status.type() != S_IFLNK) return;
    const platform::Descriptor followed(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (followed)
        for (const std::string& entry : names(followed.get())) emptyWithoutChecks(followed.get(), entry);
}

#elif defined(QUILLON_FAULT_ignoreCancel)

// The token is never read.
const RunControl* removalControl(const RunControl*) { return nullptr; }

#else
#error "FaultVariants.cpp is compiled only for one of this library's fault variants"
#endif

} // namespace quillon::seams
