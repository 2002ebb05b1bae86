// What the activity guard's answers do to one location: a tool of its group
// running from the start or from a later re-check, files held open (exactly,
// deep inside an entry, under odd names, or only sharing a name's
// beginning), a query that fails or is cancelled. The answers are injected,
// so what this machine runs or holds open never decides an outcome.

#include "tests/engine/CleanFixture.h"

#include <gtest/gtest.h>

#include <functional>

using namespace quillon;
namespace t = quillon::testing;

namespace {

// Both answers as functions of how often the run has asked (from 1): the
// running set before the location and before items 0, 32 and 64; the open
// files before items 0, 32 and 64. Open paths are relative to the location.
using Running = std::function<std::set<std::string>(int call)>;
using Open = std::function<std::vector<std::string>(int reading, RunControl& control)>;

Running runs(const std::string& name, int from) {
    return [=](int call) { return call >= from ? std::set<std::string>{name} : std::set<std::string>{}; };
}
Open holds(const std::vector<std::string>& names, int from = 1) {
    return [=](int reading, RunControl&) { return reading >= from ? names : std::vector<std::string>{}; };
}
Open failsAt(int at) {
    return [=](int reading, RunControl&) {
        if (reading == at) throw SafetyError::skip(text::cannotVerifyOpenFiles);
        return std::vector<std::string>{};
    };
}
Open cancelsAt(int at) {
    return [=](int reading, RunControl& control) {
        if (reading == at) control.cancel();
        return std::vector<std::string>{};
    };
}

// A control character, a line feed, the kernel's mark of a removed file, and
// an accent written both decomposed and composed (kept as the bytes they are).
const std::vector<std::string> oddNames = {"a\x01" "b", "new\nline", "gone (deleted)", "e\xcc\x81t\xc3\xa9"};
constexpr int files = 76;     // every file made below
constexpr int withBytes = 75; // the entries that hold any bytes: all but "empty"

// A build-tool cache whose direct entries are each an item, sorted: the odd
// name "a\x01b", a folder "d" holding one file deep down, "empty" (no bytes),
// "f00" to "f69", then the other odd names.
std::string makeLocation(const CleanPlaces& places) {
    const std::string location = places.cache + "/clang/ModuleCache";
    t::makeDirectory(location + "/d/deep");
    t::writeFile(location + "/d/deep/held", "x");
    t::writeFile(location + "/empty", "");
    for (int i = 0; i < 70; ++i) t::writeFile(location + "/f" + (i < 10 ? "0" : "") + std::to_string(i), "x");
    for (const std::string& name : oddNames) t::writeFile(location + "/" + name, "x");
    return location;
}

struct Row {
    const char* label;
    Running running;
    Open open;
    int cleaned;                   // items removed
    std::vector<std::string> kept; // entries that must still be there
    const char* reason = nullptr;  // the location was kept for this reason
    bool cancelled = false;
};

std::vector<std::string> expectedNotes(const Row& row, const std::string& location, const Report& report) {
    std::vector<std::string> notes;
    if (row.cancelled)
        notes.push_back("Cancelled at " + location + ". No further files will be removed.");
    else if (row.reason)
        notes.push_back(t::keptNote(location, row.reason));
    else
        notes.push_back("Checked: " + location + " \u2014 " + std::to_string(files) + " files inspected, " +
                        std::to_string(row.cleaned) + " eligible entries (" + size(report.removed) + "), " +
                        std::to_string(withBytes - row.cleaned) + " recent or protected entries kept");
    if (report.removed > 0) notes.push_back(t::clearedNote(report.removed, location));
    return notes;
}

} // namespace

TEST(CleanGuards, RunningToolsAndOpenFilesDecideWhatStays) {
    const Running none = runs("node", 1); // a tool of another group
    const Row rows[] = {
        {"nothing of the group", none, holds({}), withBytes, {"empty"}},
        {"group's tool at the start", runs("clang", 1), holds({}), 0, {"d", "f00"}, text::toolRunning},
        {"group's tool from item 32", runs("clang", 3), holds({}), 31, {"f29"}, text::toolStarted},
        {"file held open", none, holds({"f05"}), withBytes - 1, {"f05"}},
        {"file deep inside an entry", none, holds({"d/deep/held"}), withBytes - 1, {"d"}},
        {"names only sharing a start", none, holds({"f05x", "d.lock"}), withBytes, {}},
        {"odd names held open", none, holds(oddNames), withBytes - 4, oddNames},
        {"opened after the first reading", none, holds({"f69"}, 2), withBytes - 1, {"f69"}},
        {"open files unreadable at item 32", none, failsAt(2), 31, {"f29"}, text::cannotVerifyOpenFiles},
        {"cancelled while reading at item 32", none, cancelsAt(2), 31, {"f29"}, nullptr, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        CleanPlaces places = t::fixturePlaces();
        t::movePastEveryThreshold(places);
        const std::string location = makeLocation(places);
        // The open files are named by their real paths: a base spelled
        // another way must still match them.
        places.cache = places.cache.substr(0, places.cache.rfind('/')) + "//./cache/";
        RunControl control;
        int calls = 0, readings = 0;
        places.guard.running = [&](const RunControl*) { return row.running(++calls); };
        places.guard.openFiles = [&](const RunControl*) {
            std::vector<std::string> paths;
            for (const std::string& name : row.open(++readings, control)) paths.push_back(location + "/" + name);
            return paths;
        };

        const Report report = clean(false, places, &control);
        EXPECT_EQ(report.notes, expectedNotes(row, location, report)) << t::joined(report.notes);
        EXPECT_EQ(report.cleaned, row.cleaned);
        EXPECT_EQ(report.cancelled, row.cancelled);
        EXPECT_EQ(report.skipped, row.reason || (!row.cancelled && row.cleaned < withBytes) ? 1 : 0);
        const bool busy = row.reason == text::toolRunning || row.reason == text::toolStarted;
        EXPECT_EQ(report.busyGroups, busy ? std::set<std::string>{"Development"} : std::set<std::string>{});
        for (const std::string& name : row.kept) EXPECT_TRUE(t::exists(location + "/" + name)) << name;
    }
}
