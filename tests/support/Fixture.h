// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

// Every test program runs inside a private fixture folder: before any test starts, HOME, TMPDIR and the XDG cache,
// configuration and state folders point into a fresh folder of its own (see Fixture.cpp), so no test ever touches the
// real home or /tmp at large.

#include <string>

namespace quillon::testing {

// Returns the canonical path of this process's private fixture folder.
const std::string& fixtureRoot();
// Aborts the process unless HOME, TMPDIR and XDG_CACHE_HOME, XDG_CONFIG_HOME and XDG_STATE_HOME all lie inside
// fixtureRoot(). Call it before anything that runs a clean or the binary.
void requireFixtureEnvironment();
// Returns the canonical path of a new, empty folder inside the fixture.
std::string freshDirectory(const std::string& label = "case");

// File helpers; each throws std::runtime_error when the file system refuses. None follows a final link it writes.
void makeDirectory(const std::string& path); // with intermediate folders
void writeFile(const std::string& path, const std::string& contents);
std::string readFile(const std::string& path);
void makeSymlink(const std::string& target, const std::string& path);
void makeHardLink(const std::string& existing, const std::string& path);
// Returns whether `path` names anything, without following a final link.
bool exists(const std::string& path);
// Sets the access and modification times of `path` to `seconds` since 1970.
void setModificationTime(const std::string& path, double seconds);
// Returns the seconds since 1970.
double now();
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
