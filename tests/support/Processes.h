// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

// Child processes of the tests: the one way to run a program and read what it says, the one way to act as another
// user, and a named process that holds files open.

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quillon::testing {

// Runs `argv` (argv[0] an absolute path) with this environment, where each "NAME=value" of `environment` replaces or
// adds a variable, and returns its exit status (or 128 + signal) and both output streams.
struct ProgramRun {
    int status = -1;
    std::string out, err;
};
ProgramRun runProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {});

// Returns the path of the built quillon executable.
std::string quillonBinary();

// Returns whether an account other than root exists ("nobody"), with its uid and gid, for tests that give a file away.
bool unprivilegedAccount(unsigned& uid, unsigned& gid);

// Runs `body` in a child process with no power over file modes or other processes, so that the kernel's access
// checks apply to it as to any user: when root, under a user id that no account uses, with no groups and no
// capabilities; otherwise as this user. `prepare` runs first in the child, still root where it was, given that user
// id, to make or open what the body needs. Returns what the body returned, or what went wrong.
std::string asUserOfItsOwn(const std::function<void(uid_t)>& prepare, const std::function<std::string()>& body);

enum class Hold { reading, writing, mapping }; // how a child of the test holds a file

// A copy of /bin/sleep named `name`, run from a fresh fixture folder, that holds each path of `held` open for reading
// for as long as it runs: how an application or an editor appears in the process table. Returns from the constructor
// once /proc shows the new program; the destructor kills and reaps it. Throws std::runtime_error when it cannot be
// started.
class RunningProgram {
public:
    explicit RunningProgram(const std::string& name, const std::vector<std::string>& held = {});
    // Or a child of the test holding the file `path` open for reading or writing, or only mapped (fd closed).
    RunningProgram(const std::string& path, Hold how);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

private:
    pid_t pid_ = -1;
};

} // namespace quillon::testing
