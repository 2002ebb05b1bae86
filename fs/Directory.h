#pragma once

#include "core/RunControl.h"
#include "platform/Descriptor.h"

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
// Throws SafetyError: "Invalid path" (relative, or a "." or ".." component),
// "Cannot open root", or "Cannot open directory component <piece>: <strerror>".
platform::Descriptor openDirectory(const std::string& path);

// Returns the names of all entries of the directory open on `descriptor`,
// without "." and "..", decoded as UTF-8 (ill-formed bytes become U+FFFD) and
// sorted ascending by Unicode scalar values after canonical composition.
// Reads through a duplicate of `descriptor`, which stays open and the
// caller's. Never returns a partial list.
// Throws CleanCancelled when `control` is cancelled (checked before anything
// is opened and before each entry), SafetyError("Cannot read directory") on
// any read failure.
std::vector<std::string> names(int descriptor, const RunControl* control = nullptr);

} // namespace quillon
