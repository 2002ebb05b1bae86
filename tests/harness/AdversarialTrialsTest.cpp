// The adversarial trials: the real clean on fixture homes while the
// adversary keeps changing them. QUILLON_HARNESS_TRIALS sets the number of
// trials (200 by default) and QUILLON_HARNESS_SEED the first seed (1), so
// that a longer run by hand is the same program with other numbers.

#include "core/Texts.h"
#include "tests/harness/TrialRun.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <string>

using namespace quillon::harness;
namespace t = quillon::testing;

namespace {

std::uint64_t mixed(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

long fromEnvironment(const char* name, long fallback) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return fallback;
    char* end = nullptr;
    const long parsed = std::strtol(value, &end, 10);
    return end != nullptr && *end == '\0' && parsed >= 0 ? parsed : fallback;
}

struct Figures {
    long trials = 0;
    long quiet = 0;
    long unjudged = 0;
    long attempted = 0;
    long applied = 0;
    long windows = 0;
    long removed = 0;
    long victimsLost = 0;
    long badRemovals = 0;
    long descriptorsLeaked = 0;
    long childrenLeft = 0;
    long heldBack = 0;
    long failedTrials = 0;
    long spelled = 0;
    long holding = 0;
    std::map<std::string, long> keptFor; // locations kept, by reason


    void add(const Trial& trial, const Adversary& adversary, const TrialResult& result) {
        ++trials;
        spelled += trial.homeSpelling.empty() ? 0 : 1;
        holding += adversary.held().empty() ? 0 : 1;
        quiet += adversary.quiet() ? 1 : 0;
        unjudged += result.findings.attributable ? 0 : 1;
        attempted += adversary.attempted();
        applied += adversary.applied();
        windows += result.referee.windowsClosed;
        removed += static_cast<long>(result.referee.removals.size());
        victimsLost += result.findings.victimsLost;
        badRemovals += result.findings.badRemovals;
        descriptorsLeaked += result.findings.descriptorsLeaked;
        childrenLeft += result.findings.childrenLeft;
        heldBack += result.findings.environmentRefusals;
        failedTrials += result.findings.problems.empty() ? 0 : 1;
        for (const std::string& note : result.report.notes)
            if (note.rfind(quillon::text::keptPrefix, 0) == 0) ++keptFor[note.substr(note.find(" \u2014 ") + 5)];
    }

    std::string text() const {
        return "Trials run: " + std::to_string(trials) + " (" + std::to_string(quiet) + " without changes, " +
               std::to_string(unjudged) + " too slow to judge changes, " + std::to_string(spelled) +
               " with the home spelled otherwise, " + std::to_string(holding) + " with files held open)\n" +
               "Mutations attempted: " + std::to_string(attempted) + " (" + std::to_string(applied) + " applied)\n" +
               "Unlinks refused in the last-look window: " + std::to_string(windows) + "\n" +
               "Items removed: " + std::to_string(removed) + "\n" +
               "Victims lost: " + std::to_string(victimsLost) + "\n" +
               "Removals of changed or kept items: " + std::to_string(badRemovals) + "\n" +
               "Descriptors leaked: " + std::to_string(descriptorsLeaked) + "\n" +
               "Child processes left: " + std::to_string(childrenLeft) + "\n" +
               "Locations held back by the machine: " + std::to_string(heldBack) + "\n" +
               "Trials with a failed invariant: " + std::to_string(failedTrials) + "\n" + reasons();
    }

    std::string reasons() const {
        std::string out = "Locations kept, by reason:\n";
        for (const auto& [reason, count] : keptFor) out += "  " + std::to_string(count) + "  " + reason + "\n";
        return out;
    }
};

} // namespace

TEST(AdversarialClean, NothingStillNeededIsEverDeleted) {
    t::requireFixtureEnvironment();
    const long trials = fromEnvironment("QUILLON_HARNESS_TRIALS", 200);
    const auto seed = static_cast<std::uint64_t>(fromEnvironment("QUILLON_HARNESS_SEED", 1));
    // Trials are built a batch ahead, so that each has settled (grown older
    // than the age margin) by the time its turn comes.
    constexpr long batch = 64;
    std::deque<Trial> waiting;
    long built = 0;
    const auto buildBatch = [&] {
        for (long k = 0; k < batch && built < trials; ++k, ++built)
            waiting.push_back(buildTrial(t::freshDirectory("trial"), mixed(seed * 1000003 + static_cast<std::uint64_t>(built))));
    };
    buildBatch();

    Figures figures;
    for (long i = 0; i < trials; ++i) {
        if (i % batch == 0) buildBatch();
        const Trial trial = std::move(waiting.front());
        waiting.pop_front();
        Adversary adversary(trial, mixed(trial.seed ^ 0xAD7E55A7ull));
        const TrialResult result = runTrial(trial, adversary);
        figures.add(trial, adversary, result);
        if (result.findings.problems.empty()) {
            removeTree(trial.root);
        } else if (figures.failedTrials <= 5) {
            ADD_FAILURE() << trialAccount(trial, adversary, result);
        }
    }

    std::printf("%s", figures.text().c_str());
    std::fflush(stdout);
    EXPECT_EQ(figures.victimsLost, 0);
    EXPECT_EQ(figures.badRemovals, 0);
    EXPECT_EQ(figures.descriptorsLeaked, 0);
    EXPECT_EQ(figures.childrenLeft, 0);
    EXPECT_EQ(figures.failedTrials, 0);
    if (trials >= 50) {
        // A harness under which nothing is ever removed or changed proves nothing.
        EXPECT_GT(figures.removed, trials);
        EXPECT_GT(figures.applied, trials);
        EXPECT_GT(figures.quiet, 0);
        EXPECT_GT(figures.spelled, 0);
        EXPECT_GT(figures.holding, 0);
    }
}
