// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// The private fixture folder of every test program, and the program's main: it builds the
// folder before any test runs, checks after each test suite that no descriptor was left open, and removes the folder
// at the end.

#include "tests/support/Fixture.h"
#include "tests/support/Processes.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::testing {
namespace {

[[noreturn]] void failed(const std::string& what) { throw std::runtime_error(what + ": " + std::strerror(errno)); }

std::string root;
// Each variable (none: a folder between) and its folder in the fixture.
const std::pair<const char*, const char*> places[] = {
    {"HOME", "/home"}, {"TMPDIR", "/tmp"}, {"XDG_CACHE_HOME", "/home/.cache"}, {"XDG_CONFIG_HOME", "/home/.config"},
    {nullptr, "/home/.local"}, {"XDG_STATE_HOME", "/home/.local/state"}};

std::string realPath(const char* path) {
    std::error_code error;
    return path ? std::filesystem::canonical(path, error).string() : "";
}

void setUpFixtureRoot() {
    char pattern[] = "/tmp/quillon-fixture-XXXXXX";
    root = realPath(mkdtemp(pattern));
    // Readable by all, so that a test may drop to another user and still reach the folders it made for that user;
    // what is private inside stays 0700.
    if (root.empty() || chmod(root.c_str(), 0755) != 0) failed("mkdtemp");
    writeFile(root + "/.quillon-fixture", "private test fixture\n");
    for (const auto& [variable, folder] : places) {
        if (mkdir((root + folder).c_str(), 0700) != 0) failed("mkdir " + root + folder);
        if (variable) setenv(variable, (root + folder).c_str(), 1);
    }
    unsetenv("XDG_RUNTIME_DIR");
}

bool descriptorsLeaked = false;

class DescriptorWatch : public ::testing::EmptyTestEventListener {
    int before_ = 0;
    void OnTestSuiteStart(const ::testing::TestSuite&) override { before_ = openDescriptorCount(); }
    void OnTestSuiteEnd(const ::testing::TestSuite& suite) override {
        if (const int after = openDescriptorCount(); after > before_) {
            std::fprintf(stderr, "[  LEAK    ] %s left %d descriptor(s) open\n", suite.name(), after - before_);
            descriptorsLeaked = true;
        }
    }
};

} // namespace

const std::string& fixtureRoot() { return root; }

void requireFixtureEnvironment() {
    bool inside = !root.empty() && nameExists(root + "/.quillon-fixture");
    for (const auto& [variable, folder] : places) {
        const std::string resolved = variable ? realPath(std::getenv(variable)) : root;
        inside = inside && (resolved == root || resolved.starts_with(root + "/"));
    }
    if (!inside) {
        std::fprintf(stderr, "refusing to run: HOME, TMPDIR and the XDG folders must point into the test fixture\n");
        std::abort();
    }
}

std::string freshDirectory(const std::string& label) {
    static int counter = 0;
    const std::string path = fixtureRoot() + "/" + label + "-" + std::to_string(++counter);
    if (mkdir(path.c_str(), 0755) != 0) failed("mkdir " + path);
    return path;
}

int openDescriptorCount() {
    int count = -1; // the listing's own descriptor
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

ScopedVariable::ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
}

ScopedVariable::~ScopedVariable() {
    if (had_) setenv(name_.c_str(), old_.c_str(), 1);
    else unsetenv(name_.c_str());
}

} // namespace quillon::testing

int main(int argc, char** argv) {
    namespace t = quillon::testing;
    ::testing::InitGoogleTest(&argc, argv);
    t::setUpFixtureRoot();
    t::requireFixtureEnvironment();
    ::testing::UnitTest::GetInstance()->listeners().Append(new t::DescriptorWatch);
    const int status = RUN_ALL_TESTS();
    if (t::root.starts_with("/tmp/quillon-fixture-")) { // fixtures may hold folders without write permission
        t::runProgram({"/bin/chmod", "-R", "u+rwx", t::root});
        t::runProgram({"/bin/rm", "-rf", "--one-file-system", t::root});
    }
    return t::descriptorsLeaked && status == 0 ? 1 : status;
}
