// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// Clean runs in private fixture places, with the guard's answers injected (what this machine runs or holds open never
// decides an outcome), the guard's clock stopped, and the run's clock 100 days on, past every file's age threshold.

#include "engine/Clean.h"
#include "catalog/Catalogue.h"
#include "core/Errors.h"
#include "core/Texts.h"
#include "platform/Descriptor.h"
#include "platform/Paths.h"
#include "tests/support/Fixture.h"
#include "tests/support/Processes.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <fcntl.h>

using namespace quillon;
namespace t = quillon::testing;
using Texts = std::vector<std::string>;

namespace {

CleanPlaces fixturePlaces() {
    const std::string base = t::freshDirectory("run");
    for (const char* dir : {"/home", "/temp", "/cache", "/shared", "/config"}) t::makeDirectories(base + dir);
    return {{base + "/home", base + "/temp", base + "/cache", base + "/shared", base + "/config"}, 100 * 86400.0,
            {[](const RunControl*) { return std::set<std::string>{}; }, [](const RunControl*) { return Texts{}; },
             platform::leaseFile, [] { return Cadence::Clock::time_point{}; }}};
}

// Takes a lock that conflicts with the run's own even from this process.
platform::Descriptor holdLock(const std::string& temp) {
    platform::Descriptor file(::open((temp + "/" + lockFileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    flock region{F_WRLCK, SEEK_SET, 0, 0, 0}; // from the start to the end (length 0)
    return file && ::fcntl(file.get(), F_OFD_SETLK, &region) == 0 ? std::move(file) : platform::Descriptor();
}

// A control character, a line feed, the kernel's mark of a removed file, an accent decomposed and composed.
const Texts oddNames = {"a\x01" "b", "new\nline", "gone (deleted)", "e\xcc\x81t\xc3\xa9"};
constexpr int withBytes = 75; // the entries that hold any bytes: all but "empty" of the 76 files made below

// A build cache of items in this order: "a\x01b", "d" (a file deep in it), "empty", "f00" to "f69", other odd names.
std::string makeLocation(const CleanPlaces& places) {
    const std::string location = places.bases.cache + "/clang/ModuleCache";
    t::makeDirectories(location + "/d/deep"), t::writeFile(location + "/d/deep/held", "x");
    t::writeFile(location + "/empty", "");
    for (int i = 0; i < 70; ++i) t::writeFile(location + "/f" + (i < 10 ? "0" : "") + std::to_string(i), "x");
    for (const std::string& name : oddNames) t::writeFile(location + "/" + name, "x");
    return location;
}

enum class Lock { free, held, link, none }; // free, held by another run, the lock file a link, no temporary folder
// With its clock standing still, the guard is asked before the location (call 0) and before each item k (call k + 1);
// from call `from` on, the answers are `tool` running and `open` (relative to the location) held open; an entry of
// `open` marked "!" is not in the answers but held open by a child process; `act` is done at call `from`.
struct GuardRow {
    const char *label, *tool;
    Texts open;
    int from, cleaned;            // ... and the items removed
    Texts kept;                   // entries that must still be there
    const char* reason = nullptr; // the location was kept whole, or the run's only note, for this reason
    Lock lock = Lock::free;
    void (*act)(RunControl&) = nullptr;
};

// The run's note on the location (or its lock), which a "Cleared" note follows when anything went.
std::string locationNote(const GuardRow& row, const std::string& location, const Report& report) {
    if (row.lock != Lock::free) return row.reason;
    if (report.cancelled) return "Cancelled at " + location + ". No further files will be removed.";
    if (row.reason) return text::keptPrefix + location + " \u2014 " + describe(SafetyError::skip(row.reason));
    return "Checked: " + location + " \u2014 76 files inspected, " + std::to_string(row.cleaned) +
           " eligible entries (" + size(report.removed) + "), " + std::to_string(withBytes - row.cleaned) +
           " recent or protected entries kept";
}

} // namespace

TEST(CleanGuards, LockRunningToolsAndOpenFilesDecideWhatStays) {
    const char* other = "node"; // a tool of another group
    const GuardRow rows[] = {
        {"nothing of the group", other, {}, 0, withBytes, {"empty"}},
        {"group's tool at the start", "clang", {}, 0, 0, {"d", "f00"}, text::toolRunning},
        {"group's tool from item 32", "clang", {}, 33, 31, {"f29"}, text::toolStarted},
        {"file deep inside an entry", other, {"d/deep/held"}, 0, withBytes - 1, {"d"}},
        {"names only sharing a start", other, {"f05x", "d.lock"}, 0, withBytes, {}},
        {"odd names held open", other, oddNames, 0, withBytes - 4, oddNames},
        {"opened after the first reading", other, {"f69"}, 2, withBytes - 1, {"f69"}},
        {"held open unseen by the picture", other, {"!f05", "!d/deep/held"}, 0, withBytes - 2, {"f05", "d/deep/held"}},
        {"running set unreadable at item 32", other, {}, 33, 31, {"f29"}, text::cannotCheckRunningApps, Lock::free,
         [](RunControl&) { throw SafetyError::skip(text::cannotCheckRunningApps); }},
        {"cancelled at item 32", other, {}, 33, 31, {"f29"}, nullptr, Lock::free, [](RunControl& c) { c.cancel(); }},
        {"lock held by another run", other, {}, 0, 0, {"f00"}, text::anotherCleanupRunning, Lock::held},
        {"lock file a link to an entry", other, {}, 0, 0, {"f00"}, text::noCleanupLock, Lock::link},
        {"no temporary folder for the lock", other, {}, 0, 0, {"f00"}, text::noCleanupLock, Lock::none},
    };
    for (const GuardRow& row : rows) {
        SCOPED_TRACE(row.label);
        CleanPlaces places = fixturePlaces();
        const std::string location = makeLocation(places);
        const platform::Descriptor held = row.lock == Lock::held ? holdLock(places.bases.temp) : platform::Descriptor();
        if (row.lock == Lock::link) t::makeSymbolicLink(location + "/empty", places.bases.temp + "/" + lockFileName);
        if (row.lock == Lock::none) places.bases.temp.clear();
        // Open files are named by their real paths, whatever the base's spelling.
        places.bases.cache = places.bases.cache.substr(0, places.bases.cache.rfind('/')) + "//./cache/";
        RunControl control;
        std::atomic<int> call = -1; // the open files are read ahead, and again just after the running set
        places.guard.running = [&](const RunControl*) {
            if (++call == row.from && row.act) row.act(control);
            return std::set<std::string>{call < row.from ? "" : row.tool};
        };
        Texts open, unseen;
        for (const std::string& name : row.open)
            (name[0] == '!' ? unseen : open).push_back(location + "/" + name.substr(name[0] == '!' ? 1 : 0));
        const t::RunningProgram holder("holder", unseen);
        places.guard.openFiles = [&](const RunControl*) { return call < row.from ? decltype(open){} : open; };
        const Report report = clean(false, places, &control);
        Texts notes{locationNote(row, location, report), "Cleared " + size(report.removed) + " from " + location};
        EXPECT_EQ(report.notes, Texts(notes.begin(), notes.end() - (row.cleaned > 0 ? 0 : 1)));
        const bool cancelled = control.isCancelled(), busy = std::string(row.tool) == "clang";
        EXPECT_EQ(std::tuple(report.cleaned, report.cancelled, report.checked, report.skipped), // checked: run on it
                  std::tuple(row.cleaned, cancelled, row.lock == Lock::free ? 1 : 0,
                             row.reason || (!cancelled && row.cleaned < withBytes) ? 1 : 0));
        EXPECT_EQ(report.busyGroups, busy ? std::set<Group>{Group::development} : std::set<Group>{});
        for (const std::string& name : row.kept) EXPECT_TRUE(t::nameExists(location + "/" + name)) << name;
    }
}

TEST(CleanRun, PreviewCountsWhatTheRealRunRemovesWithProgressAndLogInStep) {
    CleanPlaces places = fixturePlaces();
    // Two locations in catalogue order, a build cache and a browser cache (held open), each holding one item "f0".
    const std::string build = places.bases.home + "/Library/Caches/com.apple.dt.Xcode";
    const std::string browser = places.bases.home + "/Library/Application Support/Google/Chrome/Default/Cache";
    for (const std::string& folder : {build, browser}) t::makeDirectories(folder), t::writeFile(folder + "/f0", "x");
    places.guard.openFiles = [&](const RunControl*) { return Texts{browser + "/f0"}; };
    const std::string stage = "Checking Chrome caches\u2026";
    int leases = 0;
    places.guard.lease = [&](const auto&... look) { return ++leases, platform::leaseFile(look...); };
    RunControl control; // a cancel when the first location is done (half done) starts no further location
    const Report cancelled = clean(true, places, &control, [&](double f, auto&) { if (f == 0.5) control.cancel(); });
    EXPECT_TRUE(cancelled.cancelled && cancelled.notes.back() == text::cancelledBetweenLocations);
    std::vector<Report> reports;
    for (const bool dryRun : {true, false}) {
        std::vector<std::pair<double, std::string>> progress;
        Texts logged;
        reports.push_back(clean(dryRun, places, nullptr, [&](double f, auto& s) { progress.emplace_back(f, s); },
                                [&](auto& line) { logged.push_back(line); }));
        EXPECT_EQ(progress, decltype(progress)({{0, text::buildCachesStage}, {0.5, text::buildCachesStage},
                                                {0.5, stage}, {1, stage}}));
        // "Inspecting" lines go to the log only, each before its location's notes (and "Cleared" note).
        Texts expected = reports.back().notes;
        expected.insert(expected.begin() + (dryRun ? 1 : 2), text::inspectingPrefix + browser);
        expected.insert(expected.begin(), text::inspectingPrefix + build);
        EXPECT_EQ(logged, expected);
        // A preview takes no lease.
        EXPECT_EQ(std::pair(t::nameExists(build), leases), std::pair(dryRun, dryRun ? 0 : 1));
    }
    EXPECT_EQ(reports[0].notes.at(0).rfind("Preview: " + build + " \u2014 1 files inspected, 1 eligible", 0), 0u);
    EXPECT_EQ(std::tuple(reports[0].removed + reports[0].cleaned, reports[0].eligible > 0, reports[1].removed),
              std::tuple(0, true, reports[0].eligible));
    EXPECT_TRUE(holdLock(places.bases.temp)); // the run let go of its lock
}

// A real run's places are read from the environment, the program's own log folder with them: no location of their
// catalogue reaches it, even where the state folder lies in a folder the catalogue cleans.
TEST(CleanPlaces, ARealRunsCatalogueKeepsOutOfTheLogFolder) {
    const std::string cache = t::freshDirectory("places"), state = cache + "/thumbnails/normal/state";
    t::makeDirectories(state + "/quillon");
    const t::ScopedVariable cacheHome("XDG_CACHE_HOME", cache.c_str()), stateHome("XDG_STATE_HOME", state.c_str());
    const std::vector<Candidate> rows = candidates(currentPlaces().bases);
    ASSERT_TRUE(std::ranges::any_of(rows, [&](auto& row) { return row.path == cache + "/thumbnails/large"; }));
    EXPECT_FALSE(std::ranges::any_of(rows, [&](auto& row) { return platform::within(state, row.path); }));
}
