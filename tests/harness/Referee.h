#pragma once

// The referee sits between the cleaner and the kernel. The harness program
// is linked with statx, openat and unlinkat wrapped (ld --wrap), so that on
// the cleaner's thread it sees every look-up by name, every opening of a
// folder and every deletion, and records for each deletion the item as it
// went and what the cleaner had last seen of it.
//
// The adversary changes the tree only while it holds freeze(), which the
// referee also takes around each of the cleaner's look-ups and deletions:
// every change falls cleanly before or after each of them. One race that no
// Linux program can close, a change after the cleaner's last comparison and
// before its unlink (there is no "unlink if unchanged"), is decided as if
// the change had come a moment earlier: that unlink fails with EBUSY.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quillon::harness {

// Every status field the checked removal compares, the birth time (against
// a freed inode number coming back) and the allocated bytes.
struct Identity {
    std::uint64_t inode = 0, device = 0, links = 0;
    std::uint32_t owner = 0, type = 0;                 // type: st_mode & S_IFMT
    std::int64_t modified = 0, changed = 0, born = 0;  // nanoseconds; born 0 where not kept
    std::int64_t bytes = 0;
    bool operator==(const Identity&) const = default;
};

// Looks `name` up in `dirfd` (a path with AT_FDCWD) without following a
// final link; never counted as the cleaner's look.
std::optional<Identity> identityAt(int dirfd, const std::string& name);

// One deletion made by the cleaner.
struct Removal {
    std::string path;
    Identity gone;                 // the item right before the unlink
    // What the cleaner had last seen of it: a file's look-up by name right
    // before the unlink, a folder's right before its last opening.
    std::optional<Identity> seen;
    std::uint64_t generation = 0;  // the adversary's changes made before it
};

namespace referee {

// Starts a session with no removals and no changes.
void begin();
// Ends the session and returns its removals in order.
std::vector<Removal> end();
// Held by the adversary for the whole of one change; counts the change and
// gives its number.
std::unique_lock<std::mutex> freeze(std::uint64_t& generation);
// Returns how many look-ups the cleaner made in this session (without the lock).
std::uint64_t looks();

// Marks the current thread as the cleaner's for its lifetime.
class CleanerThread {
public:
    CleanerThread();
    ~CleanerThread();
    CleanerThread(const CleanerThread&) = delete;
    CleanerThread& operator=(const CleanerThread&) = delete;
};

} // namespace referee
} // namespace quillon::harness
