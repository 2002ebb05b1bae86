#include "tests/harness/Referee.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

// The real calls, reached through the linker's --wrap.
extern "C" {
int __real_statx(int dirfd, const char* path, int flags, unsigned int mask, struct statx* out);
int __real_openat(int dirfd, const char* path, int flags, ...);
int __real_unlinkat(int dirfd, const char* path, int flags);
int __wrap_statx(int dirfd, const char* path, int flags, unsigned int mask, struct statx* out);
int __wrap_openat(int dirfd, const char* path, int flags, ...);
int __wrap_unlinkat(int dirfd, const char* path, int flags);
}

namespace quillon::harness {

namespace {

// The cleaner's last look-up by name.
struct Look {
    bool valid = false;
    int dirfd = -1;
    std::string name;
    std::optional<Identity> found; // absent when the look-up failed
};

struct State {
    std::mutex lock;
    std::atomic<std::uint64_t> removals{0};
    std::uint64_t generation = 0;
    RefereeRecord record;
    // Per directory inode: what the cleaner's look-up said right before it
    // last opened that directory (absent: opened without such a look-up).
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::optional<Identity>> opened;
};

State& state() {
    static State instance;
    return instance;
}

thread_local bool cleanerThread = false;
thread_local Look lastLook;

std::optional<Identity> realIdentity(int dirfd, const char* name, int flags) {
    struct statx raw {};
    if (__real_statx(dirfd, name, flags, STATX_BASIC_STATS | STATX_BTIME, &raw) != 0) return std::nullopt;
    return identityFrom(raw);
}

bool lastLookIs(int dirfd, const char* name) {
    return lastLook.valid && lastLook.dirfd == dirfd && lastLook.name == name;
}

std::string directoryPath(int dirfd) {
    char buffer[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(dirfd);
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : "(fd " + std::to_string(dirfd) + ")";
}

// Whether the item at the name is no longer the one the cleaner compared:
// for a file every field the removal compares, for a directory (whose times
// its own emptying changes) its inode, device and type.
bool changedSinceLook(const Identity& now, const Identity& looked) {
    if (now.directory() && looked.directory())
        return now.inode != looked.inode || now.device != looked.device;
    return !sameForRemoval(now, looked);
}

} // namespace

void Referee::begin() {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.generation = 0;
    s.removals = 0;
    s.record = RefereeRecord{};
    s.opened.clear();
}

RefereeRecord Referee::end() {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.opened.clear();
    return std::exchange(s.record, RefereeRecord{});
}

std::unique_lock<std::mutex> Referee::freeze(std::uint64_t& generation) {
    State& s = state();
    std::unique_lock<std::mutex> guard(s.lock);
    generation = ++s.generation;
    return guard;
}

std::uint64_t Referee::removalsSoFar() { return state().removals.load(); }

std::uint64_t Referee::generation() {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.generation;
}

Referee::CleanerThread::CleanerThread() {
    cleanerThread = true;
    lastLook = Look{};
}

Referee::CleanerThread::~CleanerThread() {
    cleanerThread = false;
    lastLook = Look{};
}

} // namespace quillon::harness

using quillon::harness::Identity;
using quillon::harness::Removal;

extern "C" int __wrap_statx(int dirfd, const char* path, int flags, unsigned int mask, struct statx* out) {
    using namespace quillon::harness;
    if (!cleanerThread || path == nullptr || path[0] == '\0') return __real_statx(dirfd, path, flags, mask, out);
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const int rc = __real_statx(dirfd, path, flags, mask, out);
    const int error = errno;
    lastLook.valid = true;
    lastLook.dirfd = dirfd;
    lastLook.name = path;
    lastLook.found = rc == 0 ? realIdentity(dirfd, path, flags) : std::nullopt;
    errno = error;
    return rc;
}

extern "C" int __wrap_openat(int dirfd, const char* path, int flags, ...) {
    using namespace quillon::harness;
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list arguments;
        va_start(arguments, flags);
        mode = static_cast<mode_t>(va_arg(arguments, unsigned int));
        va_end(arguments);
    }
    const int fd = __real_openat(dirfd, path, flags, mode);
    if (!cleanerThread || fd < 0 || (flags & O_DIRECTORY) == 0) return fd;
    const int error = errno;
    const std::optional<Identity> opened = realIdentity(fd, "", AT_EMPTY_PATH);
    if (opened) {
        std::optional<Identity> looked;
        if (lastLookIs(dirfd, path) && lastLook.found && lastLook.found->inode == opened->inode &&
            lastLook.found->device == opened->device)
            looked = lastLook.found;
        State& s = state();
        std::lock_guard<std::mutex> guard(s.lock);
        s.opened[{opened->device, opened->inode}] = looked;
    }
    errno = error;
    return fd;
}

extern "C" int __wrap_unlinkat(int dirfd, const char* path, int flags) {
    using namespace quillon::harness;
    if (!cleanerThread) return __real_unlinkat(dirfd, path, flags);
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const std::optional<Identity> now = realIdentity(dirfd, path, AT_SYMLINK_NOFOLLOW);
    const bool looked = lastLookIs(dirfd, path) && lastLook.found.has_value();
    if (now && looked && changedSinceLook(*now, *lastLook.found)) {
        ++s.record.windowsClosed;
        errno = EBUSY;
        return -1;
    }
    const int rc = __real_unlinkat(dirfd, path, flags);
    const int error = errno;
    if (rc == 0 && now) {
        Removal removal;
        removal.path = directoryPath(dirfd) + "/" + path;
        removal.directory = now->directory();
        removal.gone = *now;
        if (removal.directory) {
            const auto found = s.opened.find({now->device, now->inode});
            if (found != s.opened.end()) removal.seen = found->second;
        } else if (looked) {
            removal.seen = lastLook.found;
        }
        removal.generation = s.generation;
        s.record.removals.push_back(std::move(removal));
        ++s.removals;
    }
    errno = error;
    return rc;
}
