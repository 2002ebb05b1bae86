#include "tests/harness/Referee.h"

#include "platform/Descriptor.h"
#include "platform/FileIo.h"
#include "platform/FileManager.h"

#include <cerrno>
#include <condition_variable>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

// The real calls, reached through the linker's --wrap.
extern "C" int __real_statx(int dirfd, const char* path, int flags, unsigned int mask, struct statx* out);
extern "C" int __real_unlinkat(int dirfd, const char* path, int flags);

namespace quillon::harness {

namespace {

struct State {
    std::mutex lock;
    std::condition_variable turn;
    std::uint64_t looks = 0, pauseAt = 0;
    bool paused = false, finished = false;
    std::pair<std::string, bool> pause;  // what the paused cleaner is about to look up, and whether again
    std::set<std::string> looked;        // every path the cleaner looked up
    std::vector<Removal> removals;
} state;

thread_local bool cleanerThread = false;
thread_local std::optional<std::pair<std::string, std::optional<Identity>>> lastLook;  // path, what it found

std::int64_t nanoseconds(const statx_timestamp& t) { return t.tv_sec * 1000000000LL + t.tv_nsec; }

std::optional<Identity> identity(int dirfd, const char* name, int flags) {
    struct statx raw {};
    if (__real_statx(dirfd, name, flags, STATX_BASIC_STATS | STATX_BTIME, &raw) != 0) return std::nullopt;
    return Identity{raw.stx_ino, (std::uint64_t{raw.stx_dev_major} << 32) | raw.stx_dev_minor, raw.stx_nlink,
                    raw.stx_uid, static_cast<std::uint32_t>(raw.stx_mode & S_IFMT), nanoseconds(raw.stx_mtime),
                    nanoseconds(raw.stx_ctime), (raw.stx_mask & STATX_BTIME) != 0 ? nanoseconds(raw.stx_btime) : 0,
                    static_cast<std::int64_t>(raw.stx_blocks) * 512};
}

std::string pathOf(int dirfd, const char* name) {
    char folder[4096];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(dirfd)).c_str(), folder, sizeof folder);
    return dirfd == AT_FDCWD || n <= 0 ? name : std::string(folder, static_cast<std::size_t>(n)) + "/" + name;
}

void walkInto(const std::string& path, bool contents, Tree& out) {
    const std::optional<Entry> entry = entryAt(path, contents);
    if (!entry) return;  // gone while walking
    out[path] = *entry;
    if (entry->identity.type == S_IFDIR)
        for (const std::string& name : platform::FileManager().contentsOfDirectory(path))
            walkInto(path + "/" + name, contents, out);
}

} // namespace

std::optional<Entry> entryAt(const std::string& path, bool contents) {
    const std::optional<Identity> found = identity(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW);
    if (!found) return std::nullopt;
    Entry entry{*found, 0, {}};
    std::string bytes;
    char target[4096];
    if (found->type == S_IFREG && contents) {
        const platform::Descriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (fd && platform::readAtMost(fd.get(), 1 << 20, bytes) == 0) entry.hash = std::hash<std::string>{}(bytes);
    } else if (const ssize_t n = found->type == S_IFLNK ? ::readlink(path.c_str(), target, sizeof target) : 0; n > 0) {
        entry.target.assign(target, static_cast<std::size_t>(n));
    }
    return entry;
}

Tree walk(const std::string& root, bool contents) {
    Tree out;
    walkInto(root, contents, out);
    return out;
}

namespace referee {

void begin(std::uint64_t pause) {
    const std::lock_guard<std::mutex> guard(state.lock);
    state.looks = 0;
    state.pauseAt = pause;
    state.paused = state.finished = false;
    state.looked.clear();
    state.removals.clear();
}

std::vector<Removal> end() {
    const std::lock_guard<std::mutex> guard(state.lock);
    return std::exchange(state.removals, {});
}

std::size_t removalsSoFar() {
    const std::lock_guard<std::mutex> guard(state.lock);
    return state.removals.size();
}

std::optional<std::pair<std::string, bool>> paused() {
    std::unique_lock<std::mutex> guard(state.lock);
    state.turn.wait(guard, [] { return state.paused || state.finished; });
    return state.paused ? std::optional(state.pause) : std::nullopt;
}

void resume(std::uint64_t pause) {
    const std::lock_guard<std::mutex> guard(state.lock);
    state.pauseAt = pause == 0 ? 0 : state.looks + pause;
    state.paused = false;
    state.turn.notify_all();
}

CleanerThread::CleanerThread() { cleanerThread = true; }

CleanerThread::~CleanerThread() {
    cleanerThread = false;
    lastLook.reset();
    const std::lock_guard<std::mutex> guard(state.lock);
    state.finished = true;
    state.turn.notify_all();
}

} // namespace referee
} // namespace quillon::harness

using namespace quillon::harness;

extern "C" int __wrap_statx(int dirfd, const char* path, int flags, unsigned int mask, struct statx* out) {
    // A look at an open descriptor (an empty name) is not a look-up by name.
    if (!cleanerThread || path == nullptr || path[0] == '\0') return __real_statx(dirfd, path, flags, mask, out);
    std::string full = pathOf(dirfd, path);
    std::unique_lock<std::mutex> guard(state.lock);
    if (++state.looks == state.pauseAt) {
        state.pause = {full, state.looked.count(full) > 0};
        state.paused = true;
        state.turn.notify_all();
        state.turn.wait(guard, [] { return !state.paused; });
        full = pathOf(dirfd, path);  // a folder above may have moved meanwhile
    }
    const int rc = __real_statx(dirfd, path, flags, mask, out);
    const int error = errno;
    lastLook.emplace(full, rc == 0 ? identity(dirfd, path, flags) : std::nullopt);
    state.looked.insert(full);
    errno = error;
    return rc;
}

extern "C" int __wrap_unlinkat(int dirfd, const char* path, int flags) {
    if (!cleanerThread) return __real_unlinkat(dirfd, path, flags);
    const std::string full = pathOf(dirfd, path);
    const std::lock_guard<std::mutex> guard(state.lock);
    const std::optional<Identity> now = identity(dirfd, path, AT_SYMLINK_NOFOLLOW);
    const int rc = __real_unlinkat(dirfd, path, flags);
    const int error = errno;
    if (rc == 0 && now) state.removals.push_back({*now, lastLook && lastLook->first == full ? lastLook->second : std::nullopt});
    errno = error;
    return rc;
}
