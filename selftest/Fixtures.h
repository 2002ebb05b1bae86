// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "fixture/Files.h"

#include <string>

namespace quillon::selftest {

// The fixture steps (writeFile, makeSymbolicLink, absent ...) are the
// scenarios' own vocabulary.
using namespace quillon::fixture;

// Returns a freshly generated random (version 4) UUID in its 36-character
// text form, lower-case hexadecimal digits in groups of 8-4-4-4-12.
// Throws PlatformError when no random bytes can be read.
std::string randomUuid();

// The self-test's private fixture folder. Creating it makes the folder
// (never its parents: an existing name or a missing parent is an error);
// destroying it removes the folder and everything below it without
// following any link, on every exit, ignoring errors. Not copyable.
class FixtureTree {
public:
    // Creates the folder `path` (absolute). Throws PlatformError.
    explicit FixtureTree(std::string path);
    ~FixtureTree();
    FixtureTree(const FixtureTree&) = delete;
    FixtureTree& operator=(const FixtureTree&) = delete;

    const std::string& path() const noexcept { return path_; }

private:
    std::string path_;
};

} // namespace quillon::selftest
