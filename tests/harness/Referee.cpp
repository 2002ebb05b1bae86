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

struct Look {
    int dirfd = -1;
    std::string name;
    std::optional<Identity> found;  // absent when the look-up failed
};

using Key = std::pair<std::uint64_t, std::uint64_t>;  // device, inode

struct State {
    std::mutex lock;
    std::atomic<std::uint64_t> looks{0};
    std::uint64_t generation = 0;
    std::vector<Removal> removals;
    // What the look-up right before each folder's last opening found.
    std::map<Key, std::optional<Identity>> opened;
};

State& state() {
    static State instance;
    return instance;
}

thread_local bool cleanerThread = false;
thread_local std::optional<Look> lastLook;

std::int64_t nanoseconds(const statx_timestamp& t) { return t.tv_sec * 1000000000LL + t.tv_nsec; }

std::optional<Identity> realIdentity(int dirfd, const char* name, int flags) {
    struct statx raw {};
    if (__real_statx(dirfd, name, flags, STATX_BASIC_STATS | STATX_BTIME, &raw) != 0) return std::nullopt;
    return Identity{raw.stx_ino, (std::uint64_t{raw.stx_dev_major} << 32) | raw.stx_dev_minor, raw.stx_nlink,
                    raw.stx_uid, static_cast<std::uint32_t>(raw.stx_mode & S_IFMT), nanoseconds(raw.stx_mtime), nanoseconds(raw.stx_ctime),
                    (raw.stx_mask & STATX_BTIME) != 0 ? nanoseconds(raw.stx_btime) : 0,
                    static_cast<std::int64_t>(raw.stx_blocks) * 512};
}

const Look* lastLookAt(int dirfd, const char* name) {
    return lastLook && lastLook->dirfd == dirfd && lastLook->name == name ? &*lastLook : nullptr;
}

std::string pathOf(int dirfd, const char* name) {
    char buffer[4096];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(dirfd)).c_str(), buffer, sizeof buffer);
    return (n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : "?") + "/" + name;
}

} // namespace

std::optional<Identity> identityAt(int dirfd, const std::string& name) {
    return realIdentity(dirfd, name.c_str(), AT_SYMLINK_NOFOLLOW);
}

namespace referee {

void begin() {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.generation = 0;
    s.looks = 0;
    s.removals.clear();
    s.opened.clear();
}

std::vector<Removal> end() {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.opened.clear();
    return std::exchange(s.removals, {});
}

std::unique_lock<std::mutex> freeze(std::uint64_t& generation) {
    std::unique_lock<std::mutex> guard(state().lock);
    generation = ++state().generation;
    return guard;
}

std::uint64_t looks() { return state().looks.load(); }

CleanerThread::CleanerThread() {
    cleanerThread = true;
    lastLook.reset();
}

CleanerThread::~CleanerThread() {
    cleanerThread = false;
    lastLook.reset();
}

} // namespace referee
} // namespace quillon::harness

using namespace quillon::harness;

extern "C" int __wrap_statx(int dirfd, const char* path, int flags, unsigned int mask, struct statx* out) {
    // A look at an open descriptor (an empty name) is not a look-up by name.
    if (!cleanerThread || path == nullptr || path[0] == '\0') return __real_statx(dirfd, path, flags, mask, out);
    std::lock_guard<std::mutex> guard(state().lock);
    const int rc = __real_statx(dirfd, path, flags, mask, out);
    const int error = errno;
    lastLook = Look{dirfd, path, rc == 0 ? realIdentity(dirfd, path, flags) : std::nullopt};
    ++state().looks;
    errno = error;
    return rc;
}

extern "C" int __wrap_openat(int dirfd, const char* path, int flags, ...) {
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
    if (const std::optional<Identity> opened = realIdentity(fd, "", AT_EMPTY_PATH)) {
        const Look* look = lastLookAt(dirfd, path);
        const bool same = look && look->found && look->found->inode == opened->inode && look->found->device == opened->device;
        std::lock_guard<std::mutex> guard(state().lock);
        state().opened[{opened->device, opened->inode}] = same ? look->found : std::nullopt;
    }
    errno = error;
    return fd;
}

extern "C" int __wrap_unlinkat(int dirfd, const char* path, int flags) {
    if (!cleanerThread) return __real_unlinkat(dirfd, path, flags);
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const std::optional<Identity> now = realIdentity(dirfd, path, AT_SYMLINK_NOFOLLOW);
    const Look* look = lastLookAt(dirfd, path);
    // A folder's own times change as it is emptied; only its inode counts.
    if (now && look && look->found &&
        (now->type == S_IFDIR ? now->inode != look->found->inode || now->device != look->found->device
                              : !(*now == *look->found))) {
        errno = EBUSY;
        return -1;
    }
    const int rc = __real_unlinkat(dirfd, path, flags);
    const int error = errno;
    if (rc == 0 && now) {
        std::optional<Identity> seen = look ? look->found : std::nullopt;
        if (now->type == S_IFDIR) {
            const auto found = s.opened.find({now->device, now->inode});
            seen = found != s.opened.end() ? found->second : std::nullopt;
        }
        s.removals.push_back(Removal{pathOf(dirfd, path), *now, seen, s.generation});
    }
    errno = error;
    return rc;
}
