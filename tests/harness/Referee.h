#pragma once

// The referee sits between the cleaner and the kernel. The harness program
// is linked with its status, open and unlink calls wrapped (ld --wrap), so
// that on the thread that runs the clean the referee sees every look-up by
// name, every open and every deletion, and keeps a record of each deletion:
// what the item was when it went, and what the cleaner had last seen of it.
//
// The adversary changes the tree only while it holds `freeze()`, and the
// referee takes the same lock around each look-up and deletion of the
// cleaner. So every change falls cleanly before or after each of the
// cleaner's calls, and one race that no Linux program can close is decided
// fairly: a change that lands after the cleaner's last comparison of an
// item and before its unlink. There the kernel offers no "unlink if
// unchanged"; the referee makes the unlink fail (EBUSY) as if the change had
// come a moment earlier, and counts it. Everything else goes through
// untouched, so a cleaner that does not compare is caught by the records.

#include "tests/harness/TreeScan.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quillon::harness {

// One deletion made by the cleaner.
struct Removal {
    std::string path;                  // as the kernel names the parent, plus the entry name
    bool directory = false;
    Identity gone;                     // the item as it was right before the unlink
    // What the cleaner had seen of it last: for a file, the look-up by name
    // right before the unlink; for a directory, the look-up right before the
    // cleaner opened it for the last time. Absent when there was none.
    std::optional<Identity> seen;
    std::uint64_t generation = 0;      // adversary changes made before it
};

// What the referee saw during one session.
struct RefereeRecord {
    std::vector<Removal> removals;
    int windowsClosed = 0;             // unlinks refused because the item changed after the last look
};

class Referee {
public:
    // Starts a new session: no removals, no refusals, generation 0.
    static void begin();
    // Ends the session and returns what was seen.
    static RefereeRecord end();

    // Held by the adversary for the whole of each change; counts the change
    // and gives its number.
    static std::unique_lock<std::mutex> freeze(std::uint64_t& generation);
    // The number of changes made so far in this session.
    static std::uint64_t generation();
    // The number of deletions made so far in this session; may be read
    // without the lock, by an adversary that waits for the cleaner to start
    // deleting.
    static std::uint64_t removalsSoFar();

    // Marks the current thread as the cleaner's for its lifetime.
    class CleanerThread {
    public:
        CleanerThread();
        ~CleanerThread();
        CleanerThread(const CleanerThread&) = delete;
        CleanerThread& operator=(const CleanerThread&) = delete;
    };
};

} // namespace quillon::harness
