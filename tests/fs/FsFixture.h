// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

// Helpers of the fs and scan tests: trees built from a compact shape, a call's outcome as one text, and a hook on each
// look-up of the code under test that changes the disk or the answer at an exact point no thread could be timed to hit.

#include "core/Errors.h"
#include "core/Texts.h"
#include "fs/Directory.h"
#include "fs/Node.h"
#include "platform/Clock.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::fstest {

namespace t = quillon::testing;

// A cutoff that every item made by a test is older than, and a second far beyond it (in 2096).
inline double futureCutoff() { return platform::wallClock() + 100; }
inline constexpr time_t farFuture = 4'000'000'000;
inline const std::string fffd = "\xEF\xBF\xBD"; // U+FFFD, which names() gives for bytes that are not UTF-8

// Throws with errno's text unless `done`: for plain system calls of a test.
inline void must(bool done) {
    if (!done) throw std::runtime_error(std::string("fixture change failed: ") + std::strerror(errno));
}

// Builds under `base` the space-separated items of `shape`: "d/" a folder, "f" a file of 3000 bytes, "l->target" a
// symbolic link, "h=>f" a second name of f, "p|" a pipe; each modified in 2001, or with "!" at farFuture + 0.999999999.
inline void build(const std::string& base, const std::string& shape) {
    std::istringstream words(shape);
    std::vector<std::pair<std::string, bool>> made;
    for (std::string word; words >> word;) {
        const bool recent = word.back() == '!';
        if (recent) word.pop_back();
        const std::size_t soft = word.find("->"), hard = word.find("=>"), link = std::min(soft, hard);
        const std::string path = base + "/" + word.substr(0, link == std::string::npos ? word.find('|') : link);
        if (soft != std::string::npos) t::makeSymbolicLink(word.substr(soft + 2), path);
        else if (hard != std::string::npos) t::makeHardLink(base + "/" + word.substr(hard + 2), path);
        else if (word.back() == '|') must(::mkfifo(path.c_str(), 0600) == 0);
        else if (word.back() == '/') t::makeDirectories(path);
        else t::writeFile(path, std::string(3000, 'x'));
        made.emplace_back(path, recent);
    }
    // Last, so that making the children does not move their folders' times.
    for (const auto& [path, recent] : made) {
        const timespec times[2] = {{0, UTIME_OMIT}, {recent ? farFuture : 1'000'000'000, recent ? 999'999'999 : 0}};
        must(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0);
    }
}

// Returns the paths below `base`, relative, sorted, folders with a "/".
inline std::string tree(const std::string& base) {
    namespace fs = std::filesystem;
    std::set<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(base, fs::directory_options::skip_permission_denied))
        paths.insert(entry.path().string().substr(base.size() + 1) +
                     (entry.is_directory() && !entry.is_symlink() ? "/" : ""));
    std::string joined;
    for (const std::string& path : paths) joined += (joined.empty() ? "" : " ") + path;
    return joined;
}

// The record of the entry `name` of `parent` from one look-up, as an inspection would make it, for items it refuses.
inline Node recordOf(int parent, const std::string& name) {
    platform::FileStatus status;
    must(platform::statAt(parent, name, status));
    return Node{name, status.inode, status.device, status.type() == S_IFDIR, status.modified, status.changed,
                static_cast<std::int64_t>(status.blocks) * 512, {}};
}

// A folder built from a shape and open, alone in its parent (its ".." holds nothing else).
struct Place {
    std::string path = t::freshDirectory("place") + "/p";
    platform::Descriptor fd;
    dev_t device = 0;
    explicit Place(const std::string& shape) {
        t::makeDirectories(path);
        build(path, shape);
        fd = openDirectory(path);
        device = recordOf(fd.get(), ".").device;
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// Returns the reason of a SafetyError, "cancelled", "no error", or "other: " and the text of any other error.
inline std::string outcome(const std::function<void()>& call) {
    try { call(); } catch (const SafetyError& error) { return error.reason(); }
    catch (const CleanCancelled&) { return "cancelled"; }
    catch (const std::exception& error) { return std::string("other: ") + error.what(); }
    return "no error";
}

// The refusal of openDirectory for the component `piece` that failed with `error`.
inline std::string cannotOpen(const std::string& piece, int error) {
    return text::cannotOpenComponent + piece + ": " + std::strerror(error);
}

// Returns the error of `plan()`, or the paths it planned relative to `base` and `stats`: "a b (files, kept)".
inline std::string listed(const std::string& base, const auto& stats, const auto& plan) {
    std::string text;
    const std::string error = outcome([&] {
        for (const auto& item : plan()) text += (item.parentPath + "/" + item.node.name).substr(base.size() + 1) + " ";
    });
    const std::string counts = "(" + std::to_string(stats.files) + ", " + std::to_string(stats.kept) + ")";
    return error == "no error" ? text + counts : error;
}

// Called after each successful statx of the code under test (FsFixture.cpp takes the C library's place) with the folder
// and name looked up ("" for a descriptor) and the answer, which it may edit. A ScopedLookUpHook clears it at its end.
using LookUpHook = std::function<void(int folder, const std::string& name, struct statx& answer)>;
void setLookUpHook(LookUpHook hook);
struct ScopedLookUpHook {
    explicit ScopedLookUpHook(LookUpHook hook = {}) { setLookUpHook(std::move(hook)); }
    ~ScopedLookUpHook() { setLookUpHook({}); }
};

// Runs `action` once, on the folder of the first look-up of `name`, right after it.
inline LookUpHook onFirstLookUpOf(const std::string& name, std::function<void(int folder)> action) {
    return [name, action, done = false](int folder, const std::string& looked, struct statx&) mutable {
        if (looked == name && !std::exchange(done, true)) action(folder);
    };
}

// Moves the entry `name` of `folder` to `name`.old and puts a link to it, or an empty folder, in its place: at once,
// or on the folder of the first look-up of `name`, right after it.
inline void replaceAt(int folder, const std::string& name, bool byLink) {
    const std::string old = name + ".old";
    must(::renameat(folder, name.c_str(), folder, old.c_str()) == 0);
    must((byLink ? ::symlinkat(old.c_str(), folder, name.c_str()) : ::mkdirat(folder, name.c_str(), 0700)) == 0);
}
inline LookUpHook replaceOnLookUpOf(const std::string& name, bool byLink) {
    return onFirstLookUpOf(name, [name, byLink](int folder) { replaceAt(folder, name, byLink); });
}

// `name` looks as if owned by another user, or as if on the next device.
inline LookUpHook ownedByAnother(const std::string& name) {
    return [name](int, const std::string& looked, struct statx& answer) { answer.stx_uid += looked == name; };
}
inline LookUpHook onNextDevice(const std::string& name) {
    return [name](int, const std::string& looked, struct statx& answer) { answer.stx_dev_minor += looked == name; };
}

} // namespace quillon::fstest
