// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "core/RunControl.h"
#include "platform/Descriptor.h"
#include "platform/FileStatus.h"

#include <fcntl.h>
#include <string>
#include <vector>

namespace quillon {

// The flags of every directory open: a symbolic link or anything that is not
// a directory fails to open, and nothing leaks into child processes.
inline constexpr int guardedOpenFlags = O_RDONLY | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC;

// Returns whether `name` is one entry name that a look-up relative to a
// directory descriptor cannot turn into a walk: not empty, not "." or "..",
// and without "/" or NUL.
bool isEntryName(const std::string& name);

// Returns whether `name`, as names() gave it, holds U+FFFD and so may stand
// for bytes that were not UTF-8. A look-up by such a name could find a
// different entry (one literally named with U+FFFD), so callers treat it as
// a name that cannot be looked up.
bool mayBeSubstitutedName(const std::string& name);

// Opens the directory named by the absolute `path`, walking from "/" one
// component at a time with the guarded flags, so that no symbolic link is
// ever followed. Repeated and trailing slashes add nothing; "/" alone opens
// the root. At most two descriptors are open at any moment, and none stays
// open when it throws.
// Throws SafetyError (core/Texts.h): invalidPath (relative, or a "." or
// ".." component), cannotOpenRoot, or cannotOpenComponent followed by
// "<piece>: <strerror>".
platform::Descriptor openDirectory(const std::string& path);

// How an openVerified went.
enum class VerifiedOpen {
    opened,     // the descriptor is open on the very directory looked at
    cannotOpen, // the guarded open failed: gone, a link, not a directory, refused
    changed,    // what opened is not the item looked at, or cannot be looked at
};

struct VerifiedDirectory {
    VerifiedOpen outcome = VerifiedOpen::cannotOpen;
    platform::Descriptor descriptor; // open only when `outcome` is opened
};

// Opens the entry `name` of the directory open on `parent` with the guarded
// flags, then checks that what opened is the item `looked` describes (a
// look-up of the same entry made just before): the same inode on the same
// device. Between a look-up and an open the entry can be swapped for a link
// or for another directory renamed into its place; this pairing is what
// keeps such a swap from being walked into, so every descent below a looked
// at entry goes through it. Returns the open descriptor only with `opened`;
// no descriptor stays open otherwise.
VerifiedDirectory openVerified(int parent, const std::string& name, const platform::FileStatus& looked);

// The same for a caller that skips what it cannot descend into: returns the
// open descriptor, or throws SafetyError::skip(cannotOpen) or
// SafetyError::skip(changed) for those outcomes.
platform::Descriptor openVerifiedOrSkip(int parent, const std::string& name, const platform::FileStatus& looked,
                                        const char* cannotOpen, const char* changed);

// Returns the names of all entries of the directory open on `descriptor`,
// without "." and "..", decoded as UTF-8 (ill-formed bytes become U+FFFD) and
// sorted ascending by Unicode scalar values after canonical composition.
// Reads through a duplicate of `descriptor`, which stays open and the
// caller's. Never returns a partial list.
// Throws CleanCancelled when `control` is cancelled (checked before anything
// is opened and before each entry), SafetyError(cannotReadDirectory) on
// any read failure.
std::vector<std::string> names(int descriptor, const RunControl* control = nullptr);

} // namespace quillon
