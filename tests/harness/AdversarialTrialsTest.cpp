// The adversarial trials: the real clean runs on a worker thread over a
// fixture home built from the program's own catalogue; the main thread
// pauses it at random look-ups to change the tree, and in some trials
// cancels it. Each trial has an untouched copy built from the same seed, on
// which a preview and then a real run must agree. QUILLON_HARNESS_TRIALS
// sets the number of trials (200), QUILLON_HARNESS_SEED the first seed (1).

#include "catalog/Catalogue.h"
#include "engine/Clean.h"
#include "platform/Clock.h"
#include "platform/FileManager.h"
#include "tests/harness/Adversary.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <deque>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace quillon;
using namespace quillon::harness;
namespace t = quillon::testing;

namespace {

struct Trial {
    Layout layout;
    CleanPlaces places;  // with the guard's answers: nothing runs, one or two items are held open
    Tree built;
    Expectations kept;   // what every run must leave as it is
    double age = 1e12;   // the shortest minimum age of its locations
    double builtAt = 0;
};

// A trial in `root` from `seed`: up to three locations of one age from the
// catalogue, filled at random with files of awkward names and sizes (empty
// ones too) and now and then an item the rules keep, beside victims.
class Builder {
public:
    Builder(const std::string& root, std::uint64_t seed) : rng_(seed) {
        trial_.layout = Layout{root, root + "/victims", root + "/moved", {}};
        trial_.places = CleanPlaces{root + "/home", root + "/temp", root + "/cache", root + "/shared", 0, root + "/config"};
    }

    Trial build() {
        const CleanPlaces& p = trial_.places;
        Layout& layout = trial_.layout;
        for (const std::string& dir : {p.home, p.temp, p.cache, p.sharedTemp, p.config, layout.moved, layout.victims})
            t::makeDirectory(dir);
        t::writeFile(p.temp + "/" + lockFileName, "");
        file(layout.victims + "/old.log", 700);
        std::vector<Candidate> rows = candidates(p.home, p.temp, p.cache, p.sharedTemp, p.config);
        std::erase_if(rows, [](const Candidate& row) { return row.temporaryBuildRoot.has_value(); });
        std::shuffle(rows.begin(), rows.end(), rng_);
        std::set<double> ages;  // one age for all, so that one clock shift suits them
        for (const Candidate& row : rows) ages.insert(row.age);
        const double age = *std::next(ages.begin(), between(0, static_cast<int>(ages.size()) - 1));
        for (int wanted = between(1, 3); const Candidate& row : rows)
            if (wanted > 0 && row.age == age && !t::exists(row.path)) {
                t::makeDirectory(row.path);
                file(row.path.substr(0, row.path.rfind('/')) + "/" + name(), 300);  // a victim beside it
                fill(row.path, 0);
                --wanted;
            }
        for (const Candidate& row : candidates(p.home, p.temp, p.cache, p.sharedTemp, p.config))
            if (t::exists(row.path)) layout.locations.push_back(row.path), trial_.age = std::min(trial_.age, row.age);
        trial_.builtAt = platform::wallClock();
        trial_.built = walk(layout.root);
        std::vector<std::string> holdable, held;
        for (const auto& [path, entry] : trial_.built)
            if (!layout.inside(path) || keepers_.count(path) > 0) trial_.kept[path] = {entry.identity.type, entry.hash, entry.target, false};
            else if (entry.identity.bytes > 0) holdable.push_back(path);
        for (int i = between(0, 2); i > 0 && !holdable.empty(); --i) {
            held.push_back(holdable[std::uniform_int_distribution<std::size_t>(0, holdable.size() - 1)(rng_)]);
            trial_.kept[held.back()] = {trial_.built.at(held.back()).identity.type, trial_.built.at(held.back()).hash, {}, false};
        }
        trial_.places.guard = GuardQueries{[](const RunControl*) { return std::set<std::string>{}; },
                                           [held](const RunControl*) { return held; }};
        return std::move(trial_);
    }

private:
    int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }

    std::string name() {
        static const char* const stems[] = {"data", "caf\xC3\xA9", "cafe\xCC\x81", "new\nline", "-dash", ".hidden", "emoji \xF0\x9F\x98\x80"};
        static const char* const endings[] = {"", ".log", ".log.3.gz", ".LOG", ".crash", ".txt", ".log.bak"};
        return stems[between(0, 6)] + ("-" + std::to_string(++counter_)) + endings[between(0, 6)];
    }

    void file(const std::string& path, int size) {
        t::writeFile(path, std::string(static_cast<std::size_t>(size), static_cast<char>('a' + between(0, 25))));
    }

    void fill(const std::string& dir, int depth) {
        for (int i = between(depth == 0 ? 1 : 0, 4), kind = between(0, 9); i > 0; --i, kind = between(0, 9))
            file(dir + "/" + name(), kind < 2 ? 0 : kind < 7 ? between(1, 600) : between(3000, 20000));
        for (int i = depth < 2 ? between(0, 2) : 0; i > 0; --i) {
            const std::string sub = dir + "/" + name();
            t::makeDirectory(sub);
            fill(sub, depth + 1);
        }
        if (between(0, 9) == 0) keeper(dir);
    }

    // One item the rules keep: hard-linked, a link, a pipe, a name that is
    // not UTF-8, a file or folder of another owner (too new when not root).
    void keeper(const std::string& dir) {
        const int kind = between(0, 5);
        const std::string path = dir + "/kept-" + std::to_string(++counter_) + (kind == 3 ? "\xFF.log" : ".log");
        unsigned uid = 0, gid = 0;
        switch (kind) {
        case 0: file(path, 900), t::makeHardLink(path, trial_.layout.victims + "/" + std::to_string(counter_)); break;
        case 1: t::makeSymlink(trial_.layout.victims + "/old.log", path); break;
        case 2: ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); break;
        case 3: file(path, 900); break;
        default:
            kind == 4 ? file(path, 900) : (t::makeDirectory(path), file(path + "/inner.log", 900));
            if (::geteuid() == 0 && t::unprivilegedAccount(uid, gid)) ASSERT_EQ(::lchown(path.c_str(), uid, gid), 0);
            else t::setModificationTime(path, platform::wallClock() + 2 * 86400);
        }
        keepers_.insert(path);
    }

    std::mt19937_64 rng_;
    Trial trial_;
    std::set<std::string> keepers_;
    int counter_ = 0;
};

using Key = std::tuple<std::uint64_t, std::uint64_t, std::int64_t>;
Key keyOf(const Identity& id) { return {id.device, id.inode, id.born}; }

// Returns what went wrong in a finished run: a victim lost or changed (what
// the adversary touched only if `judgeTouched`); a removal of an item made
// during the run, outside the locations, not looked up right before, or
// changed since it was built; in a `quiet` run (no change, no cancel) an
// empty file gone without its folder; items gone unseen; bytes misreported.
std::vector<std::string> faults(const Trial& trial, const Expectations& expected, const Report& report,
                                const std::vector<Removal>& removals, bool judgeTouched, bool quiet) {
    std::vector<std::string> out;
    const Tree now = walk(trial.layout.root);
    for (const auto& [path, e] : expected)
        if (const auto found = now.find(path); (judgeTouched || !e.touched) &&
            (found == now.end() || std::tie(found->second.identity.type, found->second.hash, found->second.target) !=
                                       std::tie(e.type, e.hash, e.target)))
            out.push_back("lost or changed: " + path);
    std::map<Key, std::string> builtPaths;
    for (const auto& [path, entry] : trial.built) builtPaths.emplace(keyOf(entry.identity), path);
    std::set<Key> removed, gone;
    std::int64_t bytes = 0, goneBytes = 0;
    for (const Removal& r : removals)
        if (const auto found = builtPaths.find(keyOf(r.gone)); found != builtPaths.end())
            removed.insert(found->first), bytes += trial.built.at(found->second).identity.bytes;
    for (const Removal& r : removals) {
        const auto found = builtPaths.find(keyOf(r.gone));
        const std::string path = found == builtPaths.end() ? "an item" : found->second;
        const Identity& was = found == builtPaths.end() ? r.gone : trial.built.at(path).identity;
        const bool folder = was.type == S_IFDIR;  // its times change as it is emptied
        if (found == builtPaths.end() || !trial.layout.inside(path)) out.push_back("removed " + path + ", made during the run or outside every location");
        else if (!r.seen) out.push_back("removed " + path + " without looking it up right before");
        else if (judgeTouched && (folder ? std::tie(r.seen->inode, r.seen->device, r.seen->type) != std::tie(was.inode, was.device, was.type) : *r.seen != was))
            out.push_back("removed " + path + " after it changed");
        else if (quiet && !folder && was.bytes == 0 && removed.count(keyOf(trial.built.at(path.substr(0, path.rfind('/'))).identity)) == 0)
            out.push_back("removed the empty file " + path + " on its own");
    }
    std::set<Key> present;
    for (const auto& [path, entry] : now) present.insert(keyOf(entry.identity));
    for (const auto& [path, entry] : trial.built)
        if (present.count(keyOf(entry.identity)) == 0 && gone.insert(keyOf(entry.identity)).second) goneBytes += entry.identity.bytes;
    if (gone != removed) out.push_back(std::to_string(gone.size()) + " built items gone, " + std::to_string(removed.size()) + " seen removed");
    if (report.removed != bytes || bytes != goneBytes)
        out.push_back("reported " + std::to_string(report.removed) + " bytes removed; " + std::to_string(bytes) + " went, " + std::to_string(goneBytes) + " are gone");
    return out;
}

struct Outcome {
    std::vector<std::string> faults;
    long changes = 0, removals = 0, cancelled = 0, unjudged = 0;
};

// The real clean of `trial` on a worker thread, paused at random look-ups
// for the adversary to change the tree, and in some trials cancelled.
Outcome adversarialRun(const Trial& trial, std::uint64_t seed) {
    // What the adversary makes must never pass as old: its first second lies
    // past the one after the build, where the cut-off starts from.
    const double start = std::floor(trial.builtAt) + 2;
    for (double now = platform::wallClock(); now < start; now = platform::wallClock())
        std::this_thread::sleep_for(std::chrono::duration<double>(start - now));
    const double begun = platform::wallClock();
    CleanPlaces places = trial.places;
    places.clockShift = trial.age + std::floor(trial.builtAt) + 1 - begun;
    std::mt19937_64 rng(seed);
    Adversary adversary(trial.layout, trial.kept, rng());
    RunControl control;
    Report report;
    Outcome outcome;
    const int descriptors = t::openDescriptorCount();
    referee::begin();
    std::thread worker([&] {
        const referee::CleanerThread cleaner;
        report = clean(false, places, &control);
        referee::finished();
    });
    const long changes = std::uniform_int_distribution<long>(0, 10)(rng);
    const long cancelAt = std::bernoulli_distribution(0.25)(rng) ? std::uniform_int_distribution<long>(0, changes)(rng) : -1;
    std::size_t beforeCancel = SIZE_MAX;
    for (long k = 0; k <= changes && beforeCancel == SIZE_MAX; ++k) {
        const std::optional<referee::Pause> pause = referee::pauseIn(std::uniform_int_distribution<std::uint64_t>(1, 12)(rng));
        if (!pause) break;
        // A second look at an item is the check before its removal: a change
        // or a cancel right then is the likeliest to find a check missing.
        if (cancelAt >= 0 && k >= cancelAt && (pause->again || k == changes))
            beforeCancel = referee::removalsSoFar(), control.cancel();
        else
            outcome.changes += adversary.strike(pause->again && std::bernoulli_distribution(0.7)(rng) ? pause->next : "") ? 1 : 0;
        referee::resume();
    }
    worker.join();
    // The cut-off moves on with the clock: what the adversary made stays
    // newer than it for as many seconds as lie between their starts.
    const bool judged = platform::wallClock() - begun < std::floor(begun) - std::floor(trial.builtAt) - 1;
    const std::vector<Removal> removals = referee::end();
    outcome.faults = faults(trial, adversary.expectations(), report, removals, judged, outcome.changes == 0 && cancelAt < 0);
    // A file goes only after a check of the token that follows its last look-up.
    if (std::any_of(removals.begin() + static_cast<long>(std::min(beforeCancel, removals.size())), removals.end(),
                    [](const Removal& r) { return r.gone.type == S_IFREG; }))
        outcome.faults.push_back("removed a file after the cancel");
    if (t::openDescriptorCount() != descriptors) outcome.faults.push_back("descriptors leaked");
    outcome.cancelled = report.cancelled ? 1 : 0, outcome.unjudged = judged ? 0 : 1;
    outcome.removals = static_cast<long>(removals.size());
    return outcome;
}

std::vector<std::string> withoutFirstWords(const std::vector<std::string>& notes, const char* skipped) {
    std::vector<std::string> out;
    for (const std::string& note : notes)
        if (note.rfind(skipped, 0) != 0) out.push_back(note.substr(note.find(' ')));
    return out;
}

// A preview of the untouched `copy` changes nothing, and a real run after
// it removes exactly what the preview counted, with the same notes (but for
// their first words and the lines on what was cleared).
std::vector<std::string> previewDisagreements(const Trial& copy) {
    CleanPlaces places = copy.places;
    places.clockShift = copy.age + 2;  // everything built is past the cut-off's second
    const Report preview = clean(true, places);
    const bool unchanged = walk(copy.layout.root) == copy.built;
    referee::begin();
    const Report real = [&] {
        const referee::CleanerThread cleaner;
        return clean(false, places);
    }();
    std::vector<std::string> out = faults(copy, copy.kept, real, referee::end(), true, true);
    if (!unchanged) out.push_back("the preview changed the tree");
    if (std::tie(preview.eligible, preview.files, preview.checked, preview.skipped) !=
            std::tie(real.removed, real.files, real.checked, real.skipped) ||
        withoutFirstWords(preview.notes, "Cleared ") != withoutFirstWords(real.notes, "Cleared "))
        out.push_back("the preview disagrees with the real run");
    return out;
}

long number(const char* name, long fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && std::atol(value) > 0 ? std::atol(value) : fallback;
}

} // namespace

TEST(AdversarialClean, NothingStillNeededIsEverDeleted) {
    t::requireFixtureEnvironment();
    const long trials = number("QUILLON_HARNESS_TRIALS", 200);
    const auto seed = static_cast<std::uint64_t>(number("QUILLON_HARNESS_SEED", 1));
    // Built well ahead, so that a trial's turn seldom comes before its start.
    std::deque<std::pair<Trial, Trial>> ahead;
    std::uint64_t built = 0;
    const auto buildAhead = [&] {
        if (static_cast<long>(built) == trials) return;
        ahead.emplace_back(Builder(t::freshDirectory("trial"), seed + built).build(),
                           Builder(t::freshDirectory("copy"), seed + built).build());
        ++built;
    };
    for (int k = 0; k < 64; ++k) buildAhead();
    Outcome total;
    long failed = 0;
    for (std::uint64_t i = 0; i < built; ++i) {
        auto [trial, copy] = std::move(ahead.front());
        ahead.pop_front();
        buildAhead();
        Outcome outcome = adversarialRun(trial, seed + i);
        for (std::string& fault : previewDisagreements(copy)) outcome.faults.push_back("untouched copy: " + fault);
        total.changes += outcome.changes, total.removals += outcome.removals;
        total.cancelled += outcome.cancelled, total.unjudged += outcome.unjudged;
        std::string text;
        for (const std::string& fault : outcome.faults) text += "\n  " + fault;
        if (outcome.faults.empty()) platform::FileManager().removeTree(trial.layout.root), platform::FileManager().removeTree(copy.layout.root);
        else if (++failed <= 3) ADD_FAILURE() << "trial seed " << seed + i << " in " << trial.layout.root << text;
    }
    std::printf("%ld trials, %ld failed, %ld changes, %ld removals, %ld cancelled, %ld too slow to judge changes\n",
                trials, failed, total.changes, total.removals, total.cancelled, total.unjudged);
    EXPECT_EQ(failed, 0);
    if (trials >= 50) {  // a harness under which nothing goes or changes proves nothing
        EXPECT_GT(total.removals, trials);
        EXPECT_GT(total.changes, trials);
        EXPECT_GT(total.cancelled, 0);
    }
}
