#pragma once

// The referee sits between the cleaner and the kernel: the harness program
// is linked with statx and unlinkat wrapped (ld --wrap), so that on the
// cleaner's thread it sees every look-up by name and every deletion, and
// records for each deletion the item as it went and the cleaner's look-up
// of it right before. It can also pause the cleaner right before a look-up:
// the adversary changes the tree only then, so every change falls cleanly
// between two of the cleaner's steps.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
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

// One item of a walked tree: its identity, a file's content hash, a link's target.
struct Entry {
    Identity identity;
    std::size_t hash = 0;
    std::string target;
    bool operator==(const Entry&) const = default;
};
using Tree = std::map<std::string, Entry>;

// The item at `path` (a final link not followed); `contents` reads a file.
// Never counted as the cleaner's look.
std::optional<Entry> entryAt(const std::string& path, bool contents);
// `root` and everything below it, never walked through a link.
Tree walk(const std::string& root, bool contents = true);

// One deletion made by the cleaner: the item right before it, and what the
// cleaner's look-up of the same name right before it found, if there was one.
struct Removal {
    Identity gone;
    std::optional<Identity> seen;
};

namespace referee {

// Starts a session: no removals, no look-ups.
void begin();
// Ends the session and returns its removals in order.
std::vector<Removal> end();
std::size_t removalsSoFar();
// Where the cleaner waits: right before a look-up of `next`, a path it
// looked up before in this session when `again`.
struct Pause {
    std::string next;
    bool again = false;
};
// Pauses the cleaner right before its `count`-th look-up from now; returns
// where once it waits there, nothing once its clean has finished.
std::optional<Pause> pauseIn(std::uint64_t count);
void resume();
void finished();  // called on the cleaner's thread when its clean returned

// Marks the current thread as the cleaner's for its lifetime.
struct CleanerThread {
    CleanerThread();
    ~CleanerThread();
    CleanerThread(const CleanerThread&) = delete;
    CleanerThread& operator=(const CleanerThread&) = delete;
};

} // namespace referee
} // namespace quillon::harness
