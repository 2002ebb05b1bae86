// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "tests/harness/Referee.h"

#include "platform/Folders.h"
#include "tests/support/Fixture.h"

#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

// The real calls, reached through the linker's --wrap.
extern "C" int __real_statx(int dirfd, const char* path, int flags, unsigned int mask, struct statx* out);
extern "C" int __real_unlinkat(int dirfd, const char* path, int flags);

namespace quillon::harness {

namespace {

struct Session {
    std::uint64_t looks = 0, pauseAt = 0;
    bool paused = false, finished = false; // the cleaner waits at `pause`; the clean is over
    Pause pause{};
    std::set<std::string> looked{}; // every path the cleaner looked up
    std::vector<Removal> removals{};
} session;
std::mutex lock;
std::condition_variable turn;
thread_local bool cleanerThread = false;
thread_local std::string lastLook; // the path of the cleaner's last look-up

std::int64_t nanoseconds(const statx_timestamp& t) { return t.tv_sec * 1000000000LL + t.tv_nsec; }

std::optional<Identity> identity(int dirfd, const char* name) {
    struct statx s {};
    if (__real_statx(dirfd, name, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &s) != 0) return std::nullopt;
    return Identity{s.stx_ino, (std::uint64_t{s.stx_dev_major} << 32) | s.stx_dev_minor, s.stx_nlink, s.stx_uid,
                    static_cast<std::uint32_t>(s.stx_mode & S_IFMT), nanoseconds(s.stx_mtime),
                    nanoseconds(s.stx_ctime), (s.stx_mask & STATX_BTIME) != 0 ? nanoseconds(s.stx_btime) : 0,
                    static_cast<std::int64_t>(s.stx_blocks) * 512};
}

std::string pathOf(int dirfd, const char* name) {
    char folder[4096];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(dirfd)).c_str(), folder, sizeof folder);
    return dirfd == AT_FDCWD || n <= 0 ? name : std::string(folder, static_cast<std::size_t>(n)) + "/" + name;
}

} // namespace

std::optional<Entry> entryAt(const std::string& path) {
    const std::optional<Identity> found = identity(AT_FDCWD, path.c_str());
    if (!found) return std::nullopt;
    Entry entry{.identity = *found};
    if (found->type == S_IFREG) entry.hash = std::hash<std::string>{}(testing::readFile(path));
    if (found->type == S_IFLNK) entry.target = std::filesystem::read_symlink(path);
    return entry;
}

Tree walk(const std::string& root) {
    Tree out;
    if (const std::optional<Entry> entry = entryAt(root)) { // else gone while walking
        out[root] = *entry;
        if (entry->identity.type == S_IFDIR)
            for (const std::string& name : platform::listFolder(root))
                out.merge(walk(root + "/" + name));
    }
    return out;
}

namespace referee {

std::thread start(std::uint64_t pause, const std::function<void()>& clean) {
    session = Session{.pauseAt = pause}; // no lock: no cleaner runs between end() and the next start()
    return std::thread([clean] {
        cleanerThread = true;
        clean();
        const std::lock_guard<std::mutex> finished(lock);
        session.finished = true;
        turn.notify_all();
    });
}

std::vector<Removal> end(std::thread& cleaner) {
    cleaner.join(); // the cleaner's last change happened before: no lock needed
    return std::exchange(session.removals, {});
}

std::optional<Pause> paused() {
    std::unique_lock<std::mutex> guard(lock);
    turn.wait(guard, [] { return session.paused || session.finished; });
    return session.paused ? std::optional(session.pause) : std::nullopt;
}

void resume(std::uint64_t pause) {
    const std::lock_guard<std::mutex> guard(lock);
    session.pauseAt = pause == 0 ? 0 : session.looks + pause;
    session.paused = false;
    turn.notify_all();
}

} // namespace referee
} // namespace quillon::harness

using namespace quillon::harness;

extern "C" int __wrap_statx(int dirfd, const char* path, int flags, unsigned int mask, struct statx* out) {
    // A look at an open descriptor (an empty name) is not a look-up by name.
    if (!cleanerThread || path == nullptr || path[0] == '\0') return __real_statx(dirfd, path, flags, mask, out);
    std::unique_lock<std::mutex> guard(lock);
    if (++session.looks == session.pauseAt) {
        const std::string next = pathOf(dirfd, path);
        session.pause = {next, session.looked.count(next) > 0, session.removals.size()};
        session.paused = true;
        turn.notify_all();
        turn.wait(guard, [] { return !session.paused; });
    }
    lastLook = pathOf(dirfd, path); // after the pause: a folder above may have moved meanwhile
    session.looked.insert(lastLook);
    return __real_statx(dirfd, path, flags, mask, out);
}

extern "C" int __wrap_unlinkat(int dirfd, const char* path, int flags) {
    if (!cleanerThread) return __real_unlinkat(dirfd, path, flags);
    const std::lock_guard<std::mutex> guard(lock);
    const std::optional<Identity> now = identity(dirfd, path);
    const int rc = __real_unlinkat(dirfd, path, flags);
    if (rc == 0 && now) session.removals.push_back({*now, lastLook == pathOf(dirfd, path)});
    return rc;
}
