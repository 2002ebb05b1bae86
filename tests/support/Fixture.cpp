// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// The private fixture folder of every test program and its file helpers, and the program's main: it builds the
// folder before any test runs, checks after each test suite that no descriptor was left open, and removes the folder
// at the end.

#include "tests/support/Fixture.h"
#include "tests/support/Processes.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
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
    bool inside = !root.empty() && exists(root + "/.quillon-fixture");
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

void makeDirectory(const std::string& path) {
    for (std::size_t slash = 0; slash != std::string::npos;)
        if (mkdir(path.substr(0, slash = path.find('/', slash + 1)).c_str(), 0755) != 0 && errno != EEXIST)
            failed("mkdir " + path);
}

void writeFile(const std::string& path, const std::string& contents) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) failed("open " + path);
    const bool whole = write(fd, contents.data(), contents.size()) == static_cast<ssize_t>(contents.size());
    close(fd);
    if (!whole) failed("write " + path);
}

std::string readFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) failed("open " + path);
    std::string out;
    char buffer[65536];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<std::size_t>(n));
    close(fd);
    return out;
}

void makeSymlink(const std::string& target, const std::string& path) { std::filesystem::create_symlink(target, path); }

void makeHardLink(const std::string& existing, const std::string& path) {
    std::filesystem::create_hard_link(existing, path);
}

bool exists(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}

void setModificationTime(const std::string& path, double seconds) {
    const timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    if (utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) failed("utimensat " + path);
}

double now() {
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
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
