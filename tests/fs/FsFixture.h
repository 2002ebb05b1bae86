#pragma once

// Helpers of the fs and scan tests: trees built from a compact shape, the
// outcome of a call as one text, and a hook on every look-up the code under
// test makes, which changes the disk or the answer at an exact point that no
// second thread could be timed to hit.

#include "core/Errors.h"
#include "fs/Directory.h"
#include "fs/Node.h"
#include "platform/Descriptor.h"
#include "platform/FileStatus.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <sys/stat.h>

namespace quillon::fstest {

namespace t = quillon::testing;

// A cutoff that every item made by a test is older than.
inline double futureCutoff() { return t::now() + 100; }

// Builds under `base` the space-separated items of `shape`: "d/" a folder,
// "f" a file of 3000 bytes, "l->target" a symbolic link, "h=>f" a second name
// of f, "p|" a pipe. Each is modified in 2001, or in the future with a "!".
void build(const std::string& base, const std::string& shape);

// Returns the paths below `base`, relative, sorted, folders with a "/".
std::string tree(const std::string& base);

// A folder built from a shape and open, alone in its parent (its ".." holds
// nothing else).
struct Place {
    std::string path;
    platform::Descriptor fd;
    dev_t device = 0;
    explicit Place(const std::string& shape);
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// The record of the entry `name` of `parent` from one look-up, as an
// inspection would make it: for items an inspection refuses.
Node recordOf(int parent, const std::string& name);

// Throws with errno's text unless `done`: for plain system calls of a test.
void must(bool done);

// Returns the reason of a SafetyError, "cancelled", "no error", or "other: "
// and the text of any other error.
std::string outcome(const std::function<void()>& call);

// Called after each successful statx of the code under test (FsFixture.cpp
// takes the C library's place) with the name looked up ("" for a descriptor)
// and the answer, which it may edit. A ScopedLookUpHook clears it at its end.
using LookUpHook = std::function<void(const std::string& name, struct statx& answer)>;
void setLookUpHook(LookUpHook hook);
struct ScopedLookUpHook {
    explicit ScopedLookUpHook(LookUpHook hook = {}) { setLookUpHook(std::move(hook)); }
    ~ScopedLookUpHook() { setLookUpHook({}); }
    ScopedLookUpHook(const ScopedLookUpHook&) = delete;
    ScopedLookUpHook& operator=(const ScopedLookUpHook&) = delete;
};

// Hooks: `action` once, right after the first look-up of `name`; the same,
// moving `path` to `path`.old and putting a link to it or an empty folder in
// its place; `name` owned by another user, or on the next device.
LookUpHook afterFirstLookUpOf(const std::string& name, std::function<void()> action);
LookUpHook replaceAfterFirstLookUpOf(const std::string& name, const std::string& path, bool byLink);
LookUpHook ownedByAnother(const std::string& name);
LookUpHook onNextDevice(const std::string& name);

} // namespace quillon::fstest
