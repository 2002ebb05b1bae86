// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

// The referee sits between the cleaner and the kernel: with statx and unlinkat wrapped (ld --wrap), it sees every
// look-up by name and every deletion on the cleaner's thread, with the item as it went. It pauses the cleaner right
// before a look-up when asked: the adversary changes the tree only then, between two of the cleaner's steps.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace quillon::harness {

// Every status field the checked removal compares, the birth time (against a freed inode number coming back; 0 where
// not kept) and the allocated bytes. Times in nanoseconds.
struct Identity {
    std::uint64_t inode = 0, device = 0, links = 0;
    std::uint32_t owner = 0, type = 0; // type: st_mode & S_IFMT
    std::int64_t modified = 0, changed = 0, born = 0, bytes = 0;
    bool operator==(const Identity&) const = default;
};

struct Entry { // an item: its identity, a file's content hash, a link's target
    Identity identity;
    std::size_t hash = 0; std::string target{};
    bool operator==(const Entry&) const = default;
    auto content() const { return std::tie(identity.type, hash, target); }
};
using Tree = std::map<std::string, Entry>;

// The item at `path`, a final link not followed, and everything below `root`, never walked through a link; never the
// cleaner's look.
std::optional<Entry> entryAt(const std::string& path);
Tree walk(const std::string& root);

// One deletion: the item right before it; whether the cleaner looked its name up just before.
struct Removal { Identity gone; bool looked = false; };
// The paused cleaner's next look-up, whether it looked that path up before, its removals so far.
struct Pause { std::string path; bool again = false; std::size_t removals = 0; };

namespace referee {
// Starts a session with no look-ups and no removals: runs `clean` on a thread of its own, the cleaner's, which is
// paused right before its `pause`-th look-up (0: never).
std::thread start(std::uint64_t pause, const std::function<void()>& clean);
std::vector<Removal> end(std::thread& cleaner); // joins the cleaner's thread; returns the removals, in order
// Waits until the cleaner is paused; returns nothing once the clean has finished.
std::optional<Pause> paused();
// Lets the cleaner go on, to pause again right before its `pause`-th look-up from here (0: never).
void resume(std::uint64_t pause);
} // namespace referee

} // namespace quillon::harness
