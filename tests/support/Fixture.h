// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

// Every test program runs inside a private fixture folder: before any test starts, HOME, TMPDIR and the XDG cache,
// configuration and state folders point into a fresh folder of its own (see Fixture.cpp), so no test ever touches the
// real home or /tmp at large.

#include "fixture/Files.h"

#include <string>

namespace quillon::testing {

// The program's own fixture steps (writeFile, makeDirectories, nameExists ...) serve the tests as they are.
using namespace quillon::fixture;

// Returns the canonical path of this process's private fixture folder.
const std::string& fixtureRoot();
// Aborts the process unless HOME, TMPDIR and XDG_CACHE_HOME, XDG_CONFIG_HOME and XDG_STATE_HOME all lie inside
// fixtureRoot(). Call it before anything that runs a clean or the binary.
void requireFixtureEnvironment();
// Returns the canonical path of a new, empty folder inside the fixture.
std::string freshDirectory(const std::string& label = "case");

// Returns the number of descriptors this process holds open.
int openDescriptorCount();

// Sets an environment variable (or, with a null value, removes it) for the life of the object, then puts back what
// was there.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value);
    ~ScopedVariable();
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::string name_, old_;
    bool had_ = false;
};

} // namespace quillon::testing
