// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// The adversarial trials: the real clean runs on a worker thread over a fixture home from the program's catalogue; the
// main thread pauses it at random look-ups to change the tree, in some trials to cancel it. An untouched copy of each
// trial must agree with its preview. QUILLON_HARNESS_TRIALS (200) and QUILLON_HARNESS_SEED (1) set the count and seed.

#include "catalog/Catalogue.h"
#include "engine/Clean.h"
#include "platform/Clock.h"
#include "platform/Folders.h"
#include "platform/Paths.h"
#include "tests/harness/Referee.h"
#include "tests/support/Fixture.h"
#include "tests/support/Processes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <random>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon;
using namespace quillon::harness;
namespace t = quillon::testing;

namespace {

using platform::within;

// Everything built is older than a run's cut-off, by the clock shift of every run; what the rules keep for its age, and
// all that the adversary makes or changes, is days younger.
double future() { return platform::wallClock() + 2 * 86400; }

// Returns whether `path` now has another owner (only as root, where the machine has an unprivileged account).
bool giveAway(const std::string& path) {
    unsigned uid = 0, gid = 0;
    return ::geteuid() == 0 && t::unprivilegedAccount(uid, gid) && ::lchown(path.c_str(), uid, gid) == 0;
}

struct Trial {
    std::string root, victims, moved;     // its folder; data that links lead to; where moved things go
    std::vector<std::string> locations{}; // every location that exists
    CleanPlaces places{};                 // its guard answers: nothing runs; one or two items are held open
    Tree built{}, kept{};                 // everything built; what every run must leave as it is
    bool inside(const std::string& path) const { // at or below a location
        return std::ranges::any_of(locations, [&](const std::string& l) { return within(path, l); });
    }
};

// A trial in `root` from `seed`: up to three locations of one age from the catalogue, filled at random with files of
// awkward names and sizes (empty ones too) and now and then an item the rules keep, by victims.
struct Builder {
    std::mt19937_64 rng;
    Trial trial{};
    int counter = 0;

    int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }
    void file(const std::string& path, int size) { t::writeFile(path, std::string(std::size_t(size), 'a')); }
    std::string name() { // hostile names: accents in both normal forms, a line feed, a dash, a dot, an emoji
        static const char* const stems[] = {"data", "caf\xC3\xA9", "cafe\xCC\x81", "new\nline", "-dash", ".hidden",
                                            "\xF0\x9F\x98\x80"};
        static const char* const endings[] = {"", ".log", ".log.3.gz", ".LOG", ".crash", ".txt", ".log.bak"};
        return stems[between(0, 6)] + ("-" + std::to_string(++counter)) + endings[between(0, 6)];
    }

    void fill(const std::string& dir, int depth) {
        t::makeDirectories(dir);
        for (int i = between(depth == 0 ? 1 : 0, 4); i > 0; --i)
            file(dir + "/" + name(), std::max(between(-1500, 9000), 0));
        for (int i = depth < 2 ? between(0, 2) : 0; i > 0; --i) fill(dir + "/" + name(), depth + 1);
        if (between(0, 9) == 0) keeper(dir);
    }

    // An item the rules keep: hard-linked, a link, a pipe, a name that is not UTF-8, a file or folder of another owner
    // (too new when not root).
    void keeper(const std::string& dir) {
        const int kind = between(0, 5);
        const std::string path = dir + "/kept-" + std::to_string(++counter) + (kind == 3 ? "\xFF.log" : ".log");
        if (kind == 5) t::makeDirectories(path);
        if (kind == 0 || kind >= 3) file(kind == 5 ? path + "/inner.log" : path, 900);
        if (kind == 0) t::makeHardLink(path, trial.victims + "/" + std::to_string(counter));
        if (kind == 1) t::makeSymbolicLink(trial.victims + "/old.log", path);
        if (kind == 2 && ::mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo " + path);
        if (kind >= 4 && !giveAway(path)) t::setModificationTime(path, future());
    }

    Trial build(const std::string& root) {
        trial = Trial{root, root + "/victims", root + "/moved"};
        trial.places = {{root + "/home", root + "/temp", root + "/cache", root + "/shared", root + "/config"}};
        const Bases& p = trial.places.bases;
        for (const std::string& dir : {p.home, p.temp, p.cache, p.sharedTemp, p.config, trial.moved, trial.victims})
            t::makeDirectories(dir);
        t::writeFile(p.temp + "/" + lockFileName, "");
        file(trial.victims + "/old.log", 700);
        std::vector<Candidate> rows = candidates(p);
        std::set<double> ages;
        for (const Candidate& row : rows) ages.insert(row.age);
        double age = *std::next(ages.begin(), between(0, static_cast<int>(ages.size()) - 1));
        std::shuffle(rows.begin(), rows.end(), rng);
        for (int wanted = between(1, 3); const Candidate& row : rows)
            if (wanted > 0 && row.age == age && !row.temporaryBuildRoot && !t::nameExists(row.path)) {
                t::makeDirectories(row.path);
                file(row.path.substr(0, row.path.rfind('/')) + "/" + name(), 300); // a victim beside it
                fill(row.path, 0);
                --wanted;
            }
        for (const Candidate& row : candidates(p))
            if (t::nameExists(row.path)) {
                trial.locations.push_back(row.path);
                age = std::min(age, row.age); // the shortest minimum age of the trial's locations
            }
        trial.built = walk(root);
        std::vector<std::string> held;
        for (const auto& [path, entry] : trial.built) {
            const bool kept = !trial.inside(path) || path.substr(path.rfind('/')).starts_with("/kept-");
            if (!kept && entry.identity.bytes > 0 && between(0, 19) == 0) held.push_back(path);
            if (kept || (!held.empty() && held.back() == path)) trial.kept[path] = entry;
        }
        trial.places.guard = {[](const RunControl*) { return std::set<std::string>{}; },
                              [held](const RunControl*) { return held; }};
        trial.places.clockShift = age + 2; // everything built is older than every run's cut-off
        return std::move(trial);
    }
};

// The adversary changes a trial's tree while the cleaner is paused, never deleting anything and keeping account of what
// must be found afterwards: a folder (of a location, or above one) swapped for a link to the victims' folder, an item
// for a named pipe; a victim moved into a location; a hard link added; a file rewritten, or moved away and replaced;
// new files, folders, links and pipes; a file held open by a child process until the trial ends; as root, an item
// given away. A hard link and an owner keep what they touch without making it younger: the cleaner must notice them.
struct Adversary {
    const Trial& trial;
    Tree expected; // what must be found when the trial ends: what the trial keeps, and what the adversary made
    std::mt19937_64 rng;
    int counter = 0;
    std::vector<std::unique_ptr<t::RunningProgram>> holders{}; // each holds one file until the trial ends

    // Makes one change, to `target` where it is an item of a location, else to an item found by walking the tree;
    // returns whether it was made.
    bool strike(const std::string& target) {
        std::vector<std::string> files, folders, victims;
        for (const auto& [path, entry] : walk(trial.root)) {
            const bool in = trial.inside(path), folder = entry.identity.type == S_IFDIR;
            const auto below = [&](const std::string& location) { return within(location, path); };
            if (folder && (in || (path != trial.root && chance(0.3) && std::ranges::any_of(trial.locations, below))))
                folders.push_back(path);
            else if (entry.identity.type == S_IFREG && (in || within(path, trial.victims)))
                (in ? files : victims).push_back(path);
        }
        if (const std::optional<Entry> entry = entryAt(target); entry && trial.inside(target))
            (entry->identity.type == S_IFDIR ? folders : files) = {target};
        const auto pick = [&](const std::vector<std::string>& items) {
            return items.empty() ? "" : items[std::uniform_int_distribution<std::size_t>(0, items.size() - 1)(rng)];
        };
        return act(pick(files), pick(folders), pick(victims));
    }

    bool chance(double p) { return std::bernoulli_distribution(p)(rng); }
    bool act(const std::string& file, const std::string& folder, const std::string& victim) {
        const std::string& item = file.empty() || (!folder.empty() && chance(0.4)) ? folder : file;
        const std::string& near = folder.empty() || chance(0.4) ? trial.moved : folder;
        const int kind = std::uniform_int_distribution<int>(0, 12)(rng);
        const bool nearby = kind == 3 || (kind > 5 && kind < 10);
        const std::string spare = fresh(kind == 2 ? folder : nearby ? near : trial.moved);
        switch (kind) {
        case 0:
            return !folder.empty() && moveTo(folder, spare) &&
                   ::symlink(trial.victims.c_str(), folder.c_str()) == 0 && note(folder);
        case 1: return !item.empty() && moveTo(item, spare) && ::mkfifo(item.c_str(), 0600) == 0 && note(item);
        case 2: return !victim.empty() && !folder.empty() && moveTo(victim, spare) && younger(spare);
        case 3: return !file.empty() && ::link(file.c_str(), spare.c_str()) == 0 && note(file) && note(spare);
        case 4: {
            const std::optional<Entry> was = file.empty() ? std::nullopt : entryAt(file);
            if (!was || !write(file)) return false;
            for (const auto& [path, entry] : expected) // every other name of the file holds the new bytes
                if (entry.identity.inode == was->identity.inode) note(path);
            return note(file);
        }
        case 5: return !file.empty() && moveTo(file, spare) && write(file) && note(file);
        case 6: return write(spare) && note(spare);
        case 7: return ::mkdir(spare.c_str(), 0700) == 0 && younger(spare) && note(spare);
        case 8: return ::symlink(trial.victims.c_str(), spare.c_str()) == 0 && note(spare);
        case 9: return ::mkfifo(spare.c_str(), 0600) == 0 && note(spare);
        case 10: return !file.empty() && hold(file) && note(file);
        }
        if (item.empty() || !giveAway(item)) return false;
        // A folder's owner is read before it is opened and not again before it goes (its times change as it is
        // emptied): a folder given away while it is being emptied may go; what it held is judged alone.
        return item == folder || note(item);
    }

    bool hold(const std::string& file) { // for reading, for writing, only mapped: in turn
        const t::Hold how[] = {t::Hold::reading, t::Hold::writing, t::Hold::mapping};
        return holders.emplace_back(std::make_unique<t::RunningProgram>(file, how[holders.size() % 3])) != nullptr;
    }

    std::string fresh(const std::string& folder) {
        ++counter; // no ".log" on every other name, so that some never match a pattern
        return folder + "/adversary-" + std::to_string(counter) + (counter % 2 == 0 ? ".log" : "");
    }

    bool write(const std::string& path) { // where nothing is, or over a file just found
        t::writeFile(path, std::string(std::uniform_int_distribution<std::size_t>(0, 5000)(rng), 'n'));
        return younger(path);
    }
    static bool younger(const std::string& path) { return t::setModificationTime(path, future()), true; }

    bool note(const std::string& path) { // what is at `path` now must be found there
        const std::optional<Entry> entry = entryAt(path);
        if (entry) expected[path] = *entry;
        return entry.has_value();
    }

    bool moveTo(const std::string& from, const std::string& to) {
        if (::rename(from.c_str(), to.c_str()) != 0) return false;
        Tree carried;
        std::erase_if(expected, [&](const auto& item) { // what was below `from` is now below `to`
            return within(item.first, from) && carried.emplace(to + item.first.substr(from.size()), item.second).second;
        });
        expected.merge(carried);
        return note(to);
    }
};

using Key = std::tuple<std::uint64_t, std::uint64_t, std::int64_t>; // an item, whatever its name
Key keyOf(const Identity& id) { return {id.device, id.inode, id.born}; }

// What went wrong in a finished run: an expected item lost or changed; a removal of an item made during the run or
// outside the locations, not looked up right before or changed since built; in a `quiet` run (no change, no cancel) an
// empty file gone without its folder; built items gone unseen; bytes misreported.
std::vector<std::string> faults(const Trial& trial, const Tree& expected, const Report& report,
                                const std::vector<Removal>& removals, bool quiet) {
    std::vector<std::string> out;
    const Tree now = walk(trial.root);
    for (const auto& [path, e] : expected)
        if (const auto at = now.find(path); at == now.end() || at->second.content() != e.content())
            out.push_back("lost or changed: " + path);
    std::map<Key, std::string> built;
    std::set<Key> removed, gone;
    for (const auto& [path, entry] : trial.built) gone.insert(built.emplace(keyOf(entry.identity), path).first->first);
    for (const auto& [path, entry] : now) gone.erase(keyOf(entry.identity));
    std::int64_t bytes = 0;
    for (const Removal& r : removals) {
        const auto found = built.find(keyOf(r.gone));
        const std::string path = found == built.end() ? "an item made during the run" : found->second;
        const Identity& was = found == built.end() ? r.gone : trial.built.at(path).identity;
        const bool file = was.type != S_IFDIR; // a folder's own times change as it is emptied
        if (found != built.end() && removed.insert(found->first).second) bytes += was.bytes;
        if (found == built.end() || !trial.inside(path))
            out.push_back("removed " + path + " (or outside every location)");
        else if (!r.looked) out.push_back("removed " + path + " without looking it up right before");
        else if (file && r.gone != was) out.push_back("removed " + path + " after it changed");
        else if (quiet && file && was.bytes == 0 && now.count(path.substr(0, path.rfind('/'))) > 0)
            out.push_back("removed the empty file " + path + " on its own");
    }
    if (gone != removed || report.removed != bytes)
        out.push_back(std::to_string(gone.size()) + " built items are gone, " + std::to_string(removed.size()) + " (" +
                      std::to_string(bytes) + " bytes) went, the report says " + std::to_string(report.removed));
    return out;
}

struct Totals { long changes = 0, held = 0, removals = 0, cancelled = 0, failed = 0; };

// Whether a real run removed other than its preview counted, or noted other than it, but for their first words and the
// lines on what was cleared.
bool disagree(const Report& preview, const Report& real) {
    const auto tails = [](std::vector<std::string> notes) {
        std::erase_if(notes, [](const std::string& note) { return note.starts_with("Cleared "); });
        for (std::string& note : notes) note.erase(0, note.find(' '));
        return notes;
    };
    return std::tuple(preview.eligible, preview.files, preview.checked, preview.skipped, tails(preview.notes)) !=
           std::tuple(real.removed, real.files, real.checked, real.skipped, tails(real.notes));
}

// The real clean of `trial` on the referee's thread. With the adversary, paused at random look-ups for it to change the
// tree (most often the item about to be checked again before its removal), in some trials cancelled; without, after a
// preview that must change nothing and agree with it.
std::vector<std::string> run(const Trial& trial, std::uint64_t seed, bool adversarial, Totals& totals) {
    const CleanPlaces& places = trial.places;
    const Report preview = adversarial ? Report{} : clean(true, places);
    const bool unchanged = adversarial || walk(trial.root) == trial.built;
    std::mt19937_64 rng(seed);
    const auto draw = [&](long low, long high) { return std::uniform_int_distribution<long>(low, high)(rng); };
    const auto gap = [&] { return static_cast<std::uint64_t>(draw(1, 12)); };
    Adversary adversary{trial, trial.kept, std::mt19937_64(rng())};
    const long changes = adversarial ? draw(0, 10) : -1;
    const long cancelAt = adversarial && draw(0, 3) == 0 ? draw(0, changes) : -1;
    std::optional<std::size_t> beforeCancel; // the removals before the cancel
    long made = 0;
    RunControl control;
    Report report{};
    std::thread worker = referee::start(adversarial ? gap() : 0, [&] { report = clean(false, places, &control); });
    for (long k = 0; k <= changes && !beforeCancel; ++k) {
        const std::optional<Pause> pause = referee::paused();
        if (!pause) break;
        const bool cancel = cancelAt >= 0 && k >= cancelAt && (pause->again || k == changes);
        if (cancel) control.cancel();
        beforeCancel = cancel ? std::optional(pause->removals) : std::nullopt;
        made += !cancel && adversary.strike(pause->again && draw(0, 9) < 7 ? pause->path : "") ? 1 : 0;
        referee::resume(k < changes && !beforeCancel ? gap() : 0);
    }
    const std::vector<Removal> removals = referee::end(worker);
    std::vector<std::string> out = faults(trial, adversary.expected, report, removals, made == 0 && !beforeCancel);
    // A file goes only after a check of the token that follows its last look-up.
    const auto file = [](const Removal& r) { return r.gone.type == S_IFREG; };
    if (std::any_of(removals.begin() + static_cast<long>(beforeCancel.value_or(removals.size())), removals.end(), file))
        out.push_back("removed a file after the cancel");
    if (!unchanged) out.push_back("the preview changed the tree");
    if (!adversarial && disagree(preview, report)) out.push_back("the preview disagrees with the real run");
    totals = {totals.changes + made, totals.held + static_cast<long>(adversary.holders.size()),
              totals.removals + static_cast<long>(removals.size()), totals.cancelled + report.cancelled, totals.failed};
    return out;
}

} // namespace

TEST(AdversarialClean, NothingStillNeededIsEverDeleted) {
    const auto number = [](const char* name, long fallback) {
        const char* value = std::getenv(name);
        return static_cast<std::uint64_t>(value != nullptr && std::atol(value) > 0 ? std::atol(value) : fallback);
    };
    const std::uint64_t trials = number("QUILLON_HARNESS_TRIALS", 200), seed = number("QUILLON_HARNESS_SEED", 1);
    Totals totals;
    for (std::uint64_t i = 0; i < trials; ++i) {
        const Trial trial = Builder{.rng = std::mt19937_64(seed + i)}.build(t::freshDirectory("trial"));
        const Trial copy = Builder{.rng = std::mt19937_64(seed + i)}.build(t::freshDirectory("copy"));
        std::vector<std::string> faults = run(trial, seed + i, true, totals);
        for (const std::string& fault : run(copy, seed + i, false, totals))
            faults.push_back("untouched copy: " + fault);
        if (!faults.empty() && ++totals.failed <= 3)
            ADD_FAILURE() << "trial seed " << seed + i << " in " << trial.root << ": "
                          << ::testing::PrintToString(faults);
        for (const std::string& folder : {trial.root, copy.root})
            if (faults.empty()) platform::removeTree(folder);
    }
    std::cout << trials << " trials, " << totals.failed << " failed, " << totals.changes << " changes (" << totals.held
              << " files held), " << totals.removals << " removals, " << totals.cancelled << " cancelled\n";
    EXPECT_EQ(totals.failed, 0);
    const long n = static_cast<long>(trials); // a long run under which nothing goes or changes proves nothing
    EXPECT_TRUE(n < 50 || (totals.removals > n && totals.changes > n && totals.held > 0 && totals.cancelled > 0));
}
