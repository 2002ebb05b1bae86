// The adversarial trials: the real clean runs on a worker thread over a
// fixture home built from the program's own catalogue, while the main thread
// keeps changing the tree and now and then cancels the run. Each trial has
// an untouched copy built from the same seed, on which a preview and then a
// real run must agree. QUILLON_HARNESS_TRIALS sets the number of trials
// (200) and QUILLON_HARNESS_SEED the seed of the first (1; trial i has i more).

#include "catalog/Catalogue.h"
#include "core/RunControl.h"
#include "engine/Clean.h"
#include "platform/Clock.h"
#include "platform/FileManager.h"
#include "tests/harness/Adversary.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <deque>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <unistd.h>

using namespace quillon;
using namespace quillon::harness;
namespace t = quillon::testing;

namespace {

// The adversary starts this many seconds after the second in which the
// age cut-off lies, so nothing it makes passes as old in a trial shorter
// than that; in a longer one what it touched is not judged.
constexpr double margin = 1;

struct Trial {
    Layout layout;
    CleanPlaces places;
    Tree built;
    Expectations kept;              // what every run must leave as it is
    std::vector<std::string> held;  // what the open-file query names
    double age = 1e12;              // the shortest minimum age of its locations
    double builtAt = 0;
};

// Builds a trial in `root` from `seed`: a few locations of one age from the
// catalogue, filled at random with files of awkward names and sizes (empty
// ones too) and items the rules keep, beside victims.
class Builder {
public:
    Builder(const std::string& root, std::uint64_t seed) : rng_(seed) {
        trial_.layout = Layout{root, root + "/victims", root + "/moved", {}};
        trial_.places = CleanPlaces{root + "/home", root + "/temp", root + "/cache", root + "/shared", 0, root + "/config"};
    }

    Trial build() {
        const CleanPlaces& p = trial_.places;
        Layout& layout = trial_.layout;
        for (const std::string& dir : {p.home, p.temp, p.cache, p.sharedTemp, p.config, layout.moved, layout.victims + "/Cache"})
            t::makeDirectory(dir);
        t::writeFile(p.temp + "/" + lockFileName, "");
        for (const char* name : {"/old.log", "/notes.txt", "/Cache/data_1", "/Cache/f.log.1"}) file(layout.victims + name, 700);
        std::vector<Candidate> rows = candidates(p.home, p.temp, p.cache, p.sharedTemp, p.config);
        std::erase_if(rows, [](const Candidate& row) { return row.temporaryBuildRoot.has_value(); });
        std::shuffle(rows.begin(), rows.end(), rng_);
        int wanted = between(1, 3);
        for (const Candidate& row : rows) {
            if (wanted == 0 || row.age != rows.front().age || t::exists(row.path)) continue;
            t::makeDirectory(row.path);
            file(row.path.substr(0, row.path.rfind('/')) + "/" + name(), 300);
            fill(row.path, 0);
            --wanted;
        }
        for (const Candidate& row : candidates(p.home, p.temp, p.cache, p.sharedTemp, p.config))
            if (t::exists(row.path)) layout.locations.push_back(row.path), trial_.age = std::min(trial_.age, row.age);
        spellHome();
        trial_.builtAt = platform::wallClock();
        trial_.built = walk(layout.root);
        std::vector<std::string> holdable;
        for (const auto& [path, entry] : trial_.built) {
            if (!layout.inside(path) || std::find(keepers_.begin(), keepers_.end(), path) != keepers_.end())
                trial_.kept[path] = Expectation{entry.identity.type, entry.hash, entry.target, false};
            else if (entry.identity.type == S_IFDIR || entry.identity.bytes > 0) holdable.push_back(path);
        }
        for (int i = between(0, 2); i > 0 && !holdable.empty(); --i) {
            const std::string& path = pick(holdable);
            trial_.held.push_back(path);
            trial_.kept[path] = Expectation{trial_.built.at(path).identity.type, trial_.built.at(path).hash, {}, false};
        }
        return std::move(trial_);
    }

private:
    int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }

    template <typename T> const T& pick(const std::vector<T>& items) {
        return items[std::uniform_int_distribution<std::size_t>(0, items.size() - 1)(rng_)];
    }

    std::string name() {
        static const std::vector<std::string> stems = {"data", "caf\xC3\xA9", "cafe\xCC\x81", "new\nline", "-dash",
                                                       ".hidden", "emoji \xF0\x9F\x98\x80", "back\\slash"};
        static const std::vector<std::string> endings = {"", ".log", ".log.3.gz", ".LOG", ".crash", ".txt", ".log.bak"};
        return pick(stems) + "-" + std::to_string(++counter_) + pick(endings);
    }

    void file(const std::string& path, int size) { t::writeFile(path, std::string(static_cast<std::size_t>(size), static_cast<char>('a' + between(0, 25)))); }

    void fill(const std::string& dir, int depth) {
        for (int i = between(depth == 0 ? 1 : 0, 4); i > 0; --i) {
            const int kind = between(0, 9);
            file(dir + "/" + name(), kind < 2 ? 0 : kind < 7 ? between(1, 600) : between(3000, 20000));
        }
        for (int i = depth < 2 ? between(0, 2) : 0; i > 0; --i) {
            const std::string sub = dir + "/" + name();
            t::makeDirectory(sub);
            fill(sub, depth + 1);
        }
        if (between(0, 9) < 2) keeper(dir);
    }

    // One item the rules keep: linked, a link, a pipe, a name that is not
    // UTF-8, or a file or folder of another owner (too new when not root).
    void keeper(const std::string& dir) {
        const std::string path = dir + "/kept-" + std::to_string(++counter_) + ".log";
        unsigned uid = 0, gid = 0;
        switch (const int kind = between(0, 5)) {
        case 0: file(path, 900), t::makeHardLink(path, trial_.layout.victims + "/linked-" + std::to_string(counter_)); break;
        case 1: t::makeSymlink(trial_.layout.victims + "/old.log", path); break;
        case 2: ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); break;
        case 3: file(path + "\xFF", 900), keepers_.push_back(path + "\xFF"); return;
        default:
            kind == 4 ? file(path, 900) : (t::makeDirectory(path), file(path + "/inner.log", 900));
            if (::geteuid() == 0 && t::unprivilegedAccount(uid, gid)) ASSERT_EQ(::lchown(path.c_str(), uid, gid), 0);
            else t::setModificationTime(path, platform::wallClock() + 2 * 86400);
        }
        keepers_.push_back(path);
    }

    // In some trials the home is spelled otherwise: the run must still name
    // its items as the open-file query does.
    void spellHome() {
        const std::string& root = trial_.layout.root;
        switch (between(0, 5)) {
        case 0: trial_.places.home = root + "//home"; break;
        case 1: trial_.places.home = root + "/./home/"; break;
        case 2: t::makeSymlink(root + "/home", root + "/home-link"), trial_.places.home = root + "/home-link"; break;
        }
    }

    std::mt19937_64 rng_;
    Trial trial_;
    std::vector<std::string> keepers_;
    int counter_ = 0;
};

GuardQueries injected(const std::vector<std::string>& held) {
    return GuardQueries{[](const RunControl*) { return std::set<std::string>{}; },
                        [held](const RunControl*) { return held; }};
}

using Key = std::tuple<std::uint64_t, std::uint64_t, std::int64_t>;
Key keyOf(const Identity& id) { return {id.device, id.inode, id.born}; }

// Returns what went wrong in a finished run: a victim lost or changed; a
// removal of an item made during the run, outside the locations, not looked
// up right before, or changed since it was built; in a `quiet` run (no
// change, no cancel) an empty file gone without its folder; items gone that
// the referee did not see go; bytes misreported.
std::vector<std::string> faults(const Trial& trial, const Expectations& expected, const Report& report,
                                const std::vector<Removal>& removals, bool judgeTouched, bool quiet) {
    std::vector<std::string> out;
    const Tree now = walk(trial.layout.root);
    for (const auto& [path, e] : expected) {
        const auto found = now.find(path);
        if ((judgeTouched || !e.touched) && (found == now.end() || found->second.identity.type != e.type ||
                                             found->second.hash != e.hash || found->second.target != e.target))
            out.push_back("lost or changed: " + path);
    }
    std::map<Key, std::string> builtPaths;
    for (const auto& [path, entry] : trial.built) builtPaths.emplace(keyOf(entry.identity), path);
    std::set<Key> removed;
    for (const Removal& removal : removals) removed.insert(keyOf(removal.gone));
    std::int64_t bytes = 0;
    for (const Removal& r : removals) {
        const auto found = builtPaths.find(keyOf(r.gone));
        if (found == builtPaths.end()) {
            out.push_back("removed " + r.path + ", made during the run");
            continue;
        }
        const std::string& path = found->second;
        const Identity& was = trial.built.at(path).identity;
        bytes += was.bytes;
        if (!trial.layout.inside(path)) out.push_back("removed " + path + ", outside every location");
        else if (!r.seen) out.push_back("removed " + path + " without looking it up right before");
        else if (judgeTouched && !(*r.seen == was))
            out.push_back("removed " + path + " changed by change " + std::to_string(r.generation) + " or earlier");
        else if (quiet && was.type == S_IFREG && was.bytes == 0 && removed.count(keyOf(trial.built.at(path.substr(0, path.rfind('/'))).identity)) == 0)
            out.push_back("removed the empty file " + path + " on its own");
    }
    std::set<Key> present, gone;
    for (const auto& [path, entry] : now) present.insert(keyOf(entry.identity));
    std::int64_t goneBytes = 0;
    for (const auto& [path, entry] : trial.built)
        if (present.count(keyOf(entry.identity)) == 0 && gone.insert(keyOf(entry.identity)).second) goneBytes += entry.identity.bytes;
    std::erase_if(removed, [&](const Key& key) { return builtPaths.count(key) == 0; });
    if (gone != removed) out.push_back(std::to_string(gone.size()) + " built items gone, " + std::to_string(removed.size()) + " seen removed");
    if (report.removed != bytes || bytes != goneBytes)
        out.push_back("reported " + std::to_string(report.removed) + " bytes removed; " + std::to_string(bytes) +
                      " went, " + std::to_string(goneBytes) + " are gone");
    return out;
}

struct Outcome {
    std::vector<std::string> faults;
    long changes = 0, removals = 0;
    bool cancelled = false, judged = true;
};

// The real clean of `trial` on a worker thread while this thread changes
// the tree at random moments of it, and in some trials cancels it.
Outcome adversarialRun(const Trial& trial, std::uint64_t seed) {
    const double start = std::floor(trial.builtAt) + 1 + margin;
    for (double now = platform::wallClock(); now < start; now = platform::wallClock())
        std::this_thread::sleep_for(std::chrono::duration<double>(start - now));
    const double begun = platform::wallClock();
    CleanPlaces places = trial.places;
    places.clockShift = trial.age + std::floor(trial.builtAt) + 1 - begun;
    places.guard = injected(trial.held);
    std::mt19937_64 rng(seed);
    Adversary adversary(trial.layout, trial.kept, rng());
    RunControl control;
    Outcome outcome;
    const int descriptors = t::openDescriptorCount();
    referee::begin();
    std::atomic<bool> done{false};
    Report report;
    std::thread worker([&] {
        const referee::CleanerThread cleaner;
        report = clean(false, places, &control);
        done = true;
    });
    const long changes = std::uniform_int_distribution<long>(0, 10)(rng);
    const bool cancel = std::bernoulli_distribution(0.2)(rng);
    std::uint64_t cancelledAt = 0;
    for (long k = 0; k < changes + (cancel ? 1 : 0) && !done; ++k) {
        const std::uint64_t due = referee::looks() + std::uniform_int_distribution<std::uint64_t>(0, 6)(rng);
        while (!done && referee::looks() < due) std::this_thread::yield();
        if (k < changes) {
            outcome.changes += adversary.strike() ? 1 : 0;
        } else {
            const auto frozen = referee::freeze(cancelledAt);
            control.cancel();
        }
    }
    worker.join();
    // The cut-off moves on with the clock from one second past the build;
    // what the adversary made, no older than the second the trial began
    // in, stays newer than it for as long as the two seconds lie apart.
    outcome.judged = platform::wallClock() - begun < std::floor(begun) - std::floor(trial.builtAt) - 1;
    const std::vector<Removal> removals = referee::end();
    outcome.faults = faults(trial, adversary.expectations(), report, removals, outcome.judged,
                            outcome.changes == 0 && cancelledAt == 0);
    if (cancelledAt > 0 && std::count_if(removals.begin(), removals.end(), [&](const Removal& r) { return r.generation >= cancelledAt; }) > 1)
        outcome.faults.push_back("went on removing after the cancel");
    if (t::openDescriptorCount() != descriptors) outcome.faults.push_back("descriptors leaked");
    outcome.cancelled = report.cancelled;
    outcome.removals = static_cast<long>(removals.size());
    return outcome;
}

std::vector<std::string> withoutFirstWords(const std::vector<std::string>& notes) {
    std::vector<std::string> out;
    for (const std::string& note : notes)
        if (note.rfind("Cleared ", 0) != 0) out.push_back(note.substr(note.find(' ')));
    return out;
}

// A preview of the untouched `copy` changes nothing, and a real run after
// it removes exactly what the preview counted, with the same notes.
std::vector<std::string> previewDisagreements(const Trial& copy) {
    CleanPlaces places = copy.places;
    places.clockShift = copy.age + 2;  // everything built is past the cut-off's second
    places.guard = injected(copy.held);
    const Report preview = clean(true, places);
    const bool unchanged = walk(copy.layout.root) == copy.built;
    referee::begin();
    Report real;
    {
        const referee::CleanerThread cleaner;
        real = clean(false, places);
    }
    std::vector<std::string> out = faults(copy, copy.kept, real, referee::end(), true, true);
    if (!unchanged) out.push_back("the preview changed the tree");
    if (std::tie(preview.eligible, preview.files, preview.checked, preview.skipped) !=
            std::tie(real.removed, real.files, real.checked, real.skipped) ||
        withoutFirstWords(preview.notes) != withoutFirstWords(real.notes))
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
    // Built well ahead, so that each trial is past the margin by its turn.
    std::deque<std::pair<Trial, Trial>> ahead;
    std::uint64_t built = 0;
    const auto buildAhead = [&] {
        if (static_cast<long>(built) == trials) return;
        ahead.emplace_back(Builder(t::freshDirectory("trial"), seed + built).build(),
                           Builder(t::freshDirectory("copy"), seed + built).build());
        ++built;
    };
    for (int k = 0; k < 64; ++k) buildAhead();
    long changes = 0, removals = 0, cancelled = 0, unjudged = 0, failed = 0;
    for (long i = 0; i < trials; ++i) {
        auto [trial, copy] = std::move(ahead.front());
        ahead.pop_front();
        buildAhead();
        Outcome outcome = adversarialRun(trial, seed + static_cast<std::uint64_t>(i));
        for (std::string& fault : previewDisagreements(copy)) outcome.faults.push_back("untouched copy: " + fault);
        changes += outcome.changes, removals += outcome.removals;
        cancelled += outcome.cancelled ? 1 : 0, unjudged += outcome.judged ? 0 : 1;
        if (outcome.faults.empty()) {
            platform::FileManager().removeTree(trial.layout.root), platform::FileManager().removeTree(copy.layout.root);
        } else if (++failed <= 3) {
            std::string text;
            for (const std::string& fault : outcome.faults) text += "\n  " + fault;
            ADD_FAILURE() << "trial seed " << seed + static_cast<std::uint64_t>(i) << " in " << trial.layout.root << text;
        }
    }
    std::printf("%ld trials, %ld failed, %ld changes, %ld removals, %ld cancelled, %ld too slow to judge changes\n",
                trials, failed, changes, removals, cancelled, unjudged);
    EXPECT_EQ(failed, 0);
    if (trials >= 50) {  // a harness under which nothing goes or changes proves nothing
        EXPECT_GT(removals, trials);
        EXPECT_GT(changes, trials);
        EXPECT_GT(cancelled, 0);
    }
}
