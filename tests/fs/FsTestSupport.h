#pragma once

// Shared helpers of the fs/ tests: a test base that checks after every test
// that no descriptor was left open, the outcome of a call as one text, a
// status look-up and a way to run a piece of code as the unprivileged
// "nobody" account (for the failure paths that root never meets).

#include "core/Errors.h"
#include "core/Texts.h"
#include "fs/Directory.h"
#include "fs/ItemTree.h"
#include "fs/Node.h"
#include "fs/RemoveChecked.h"
#include "platform/Descriptor.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <functional>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quillon::fstest {

namespace t = quillon::testing;

// Every fs test starts and ends with the same number of open descriptors:
// a failure path that forgets one is caught at the test that took it.
class FsTest : public ::testing::Test {
protected:
    void SetUp() override { descriptorsBefore_ = t::openDescriptorCount(); }
    void TearDown() override {
        EXPECT_EQ(t::openDescriptorCount(), descriptorsBefore_) << "descriptors were left open";
    }
    int descriptorsBefore_ = 0;
};

// Runs `call` and returns what came of it: the reason of a SafetyError,
// "CleanCancelled" for a cancellation, "no error" when it returned, or the
// text of any other error after "other: ".
inline std::string outcome(const std::function<void()>& call) {
    try {
        call();
        return "no error";
    } catch (const SafetyError& error) {
        return error.reason();
    } catch (const CleanCancelled&) {
        return "CleanCancelled";
    } catch (const std::exception& error) {
        return std::string("other: ") + error.what();
    }
}

inline struct stat lookUp(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) throw std::runtime_error("lstat " + path);
    return status;
}

inline dev_t deviceOf(const std::string& path) { return lookUp(path).st_dev; }

// A cutoff 100 seconds ahead: everything made by a test counts as old.
inline double futureCutoff() { return t::now() + 100; }

// Waits until the file system's clock has moved into a later whole second
// than `seconds`, so that a change made now has a newer seconds value. The
// clock is read by touching a probe file: file systems stamp with a coarse
// clock that can lag the wall clock.
inline void waitPastSecond(std::int64_t seconds) {
    const std::string probe = t::fixtureRoot() + "/.clock-probe";
    t::writeFile(probe, "");
    for (;;) {
        if (::utimensat(AT_FDCWD, probe.c_str(), nullptr, 0) != 0) throw std::runtime_error("utimensat probe");
        struct stat status {};
        if (::lstat(probe.c_str(), &status) != 0) throw std::runtime_error("lstat probe");
        if (status.st_mtim.tv_sec > seconds) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

inline std::int64_t allocatedBytes(const std::string& path) {
    return static_cast<std::int64_t>(lookUp(path).st_blocks) * 512;
}

// Runs `body` in a forked child that has become the "nobody" account and
// returns the text the body returned (or a description of how the child
// ended). The body runs only async-safe-enough code: our own fs functions.
// Returns "" with `skipped` set when there is no such account or this
// process cannot change its identity.
inline std::string runAsNobody(const std::function<std::string()>& body, bool& skipped) {
    unsigned uid = 0, gid = 0;
    skipped = ::geteuid() != 0 || !t::unprivilegedAccount(uid, gid);
    if (skipped) return "";
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    const pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork");
    if (child == 0) {
        ::close(channel[0]);
        std::string result;
        if (::setgid(gid) != 0 || ::setuid(uid) != 0) {
            result = "cannot become nobody";
        } else {
            result = body();
        }
        const char* data = result.data();
        std::size_t left = result.size();
        while (left > 0) {
            const ssize_t n = ::write(channel[1], data, left);
            if (n <= 0) break;
            data += n;
            left -= static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string result;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(channel[0], buffer, sizeof buffer);
        if (n > 0) result.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR) break;
    }
    ::close(channel[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed";
    return result;
}

// Gives `path` (not following a final link) to the "nobody" account.
inline bool giveToNobody(const std::string& path) {
    unsigned uid = 0, gid = 0;
    if (!t::unprivilegedAccount(uid, gid)) return false;
    return ::lchown(path.c_str(), uid, gid) == 0;
}

} // namespace quillon::fstest

namespace quillon::fstest {

// Sets access and modification time of `path` (not following a final link)
// to the given values, nanoseconds included.
inline void setTimes(const std::string& path, timespec accessed, timespec modified) {
    const timespec times[2] = {accessed, modified};
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw std::runtime_error("utimensat " + path);
}

// An old time that every test can give its "old" items.
inline constexpr double longAgo = 1'000'000'000.0; // September 2001

// Writes `contents` to `path` and makes its modification time old.
inline void writeOldFile(const std::string& path, const std::string& contents) {
    quillon::testing::writeFile(path, contents);
    quillon::testing::setModificationTime(path, longAgo);
}

// A fresh directory with its descriptor and device: the parent of the items
// a test inspects or removes.
struct TestDirectory {
    std::string path;
    platform::Descriptor fd;
    dev_t device = 0;

    explicit TestDirectory(const std::string& label)
        : path(t::freshDirectory(label)), fd(openDirectory(path)), device(deviceOf(path)) {}

    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

} // namespace quillon::fstest
