// A preview and a real run on two identical copies of a tree agree item for
// item when nothing changes in between: the same notes (but for the first
// word and the "Cleared" lines), the preview's eligible bytes are the real
// run's removed bytes, the preview changes nothing, and the real run
// removes exactly the items the rules allow. QUILLON_HARNESS_PAIRS sets the
// number of tree pairs (12 by default).

#include "core/Texts.h"
#include "engine/Clean.h"
#include "tests/harness/Referee.h"
#include "tests/harness/TrialRun.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

using namespace quillon;
using namespace quillon::harness;
namespace t = quillon::testing;

namespace {

long pairsToRun() {
    const char* value = std::getenv("QUILLON_HARNESS_PAIRS");
    return value != nullptr && std::atol(value) > 0 ? std::atol(value) : 12;
}

std::set<std::string> relative(const Trial& trial, const std::set<std::string>& paths) {
    std::set<std::string> out;
    for (const std::string& path : paths) out.insert(path.substr(trial.root.size()));
    return out;
}

std::set<std::string> relativeKeys(const Trial& trial) {
    std::set<std::string> out;
    for (const auto& [path, entry] : trial.initial) out.insert(path.substr(trial.root.size()) + " " + std::to_string(entry.identity.type) + " " + std::to_string(entry.identity.bytes));
    return out;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

bool heldBackByTheMachine(const Report& report) {
    for (const std::string& note : report.notes)
        if (note.find("Cannot verify open files") != std::string::npos ||
            note.find(text::cannotCheckRunningApps) != std::string::npos ||
            note.find("tool is running") != std::string::npos || note.find("app started") != std::string::npos)
            return true;
    return false;
}

} // namespace

TEST(PreviewAgreement, PreviewAndRealRunOnIdenticalCopiesAgreeItemForItem) {
    t::requireFixtureEnvironment();
    const long pairs = pairsToRun();
    std::vector<std::pair<Trial, Trial>> trees;
    for (long i = 0; i < pairs; ++i) {
        const std::uint64_t seed = 7000 + static_cast<std::uint64_t>(i);
        Trial preview = buildTrial(t::freshDirectory("preview"), seed);
        Trial real = buildTrial(t::freshDirectory("real"), seed);
        ASSERT_EQ(relativeKeys(preview), relativeKeys(real)) << "seed " << seed << " built two different trees";
        ASSERT_EQ(relative(preview, preview.plannable), relative(real, real.plannable));
        trees.emplace_back(std::move(preview), std::move(real));
    }

    long compared = 0;
    std::int64_t bytesCompared = 0;
    for (const auto& [previewTree, realTree] : trees) {
        SCOPED_TRACE("seed " + std::to_string(previewTree.seed));
        waitUntilSettled(realTree);
        CleanPlaces previewPlaces = previewTree.places;
        CleanPlaces realPlaces = realTree.places;
        previewPlaces.clockShift = realPlaces.clockShift = clockShiftFor(realTree);

        const Report preview = clean(true, previewPlaces);
        Referee::begin();
        Report real;
        {
            Referee::CleanerThread cleaner;
            real = clean(false, realPlaces);
        }
        const RefereeRecord record = Referee::end();
        if (heldBackByTheMachine(preview) || heldBackByTheMachine(real)) continue;
        ++compared;

        EXPECT_EQ(preview.removed, 0);
        EXPECT_EQ(preview.cleaned, 0);
        EXPECT_EQ(preview.eligible, real.removed);
        EXPECT_EQ(real.eligible, real.removed);
        EXPECT_EQ(preview.files, real.files);
        EXPECT_EQ(preview.checked, real.checked);
        EXPECT_EQ(preview.skipped, real.skipped);
        std::vector<std::string> expectedNotes;
        for (const std::string& note : preview.notes) {
            std::string same = replaced(note, previewTree.root, realTree.root);
            if (same.rfind("Preview: ", 0) == 0) same = "Checked: " + same.substr(9);
            expectedNotes.push_back(same);
        }
        std::vector<std::string> realNotes;
        for (const std::string& note : real.notes)
            if (note.rfind("Cleared ", 0) != 0) realNotes.push_back(note);
        EXPECT_EQ(expectedNotes, realNotes);

        // The preview changed nothing at all.
        const std::map<std::string, Entry> after = scanTree(previewTree.root);
        ASSERT_EQ(after.size(), previewTree.initial.size());
        for (const auto& [path, entry] : previewTree.initial) {
            const auto found = after.find(path);
            ASSERT_NE(found, after.end()) << path;
            EXPECT_TRUE(sameForRemoval(found->second.identity, entry.identity)) << path;
            EXPECT_EQ(found->second.hash, entry.hash) << path;
        }

        // The real run removed exactly what the rules allow, and the
        // preview counted exactly those bytes.
        std::int64_t plannedBytes = 0;
        for (const std::string& path : realTree.plannable) plannedBytes += realTree.initial.at(path).identity.bytes;
        EXPECT_EQ(preview.eligible, plannedBytes);
        std::set<std::string> removedPaths;
        for (const Removal& removal : record.removals)
            for (const auto& [path, entry] : realTree.initial)
                if (sameInode(entry.identity, removal.gone)) removedPaths.insert(path);
        EXPECT_EQ(relative(realTree, removedPaths), relative(realTree, realTree.plannable));
        const Adversary none(realTree, 0, Adversary::Mode::quiet);
        const Findings findings = checkTrial(realTree, none, real, record);
        EXPECT_EQ(findings.victimsLost, 0);
        EXPECT_EQ(findings.badRemovals, 0);
        bytesCompared += real.removed;
        removeTree(previewTree.root);
        removeTree(realTree.root);
    }
    std::printf("Preview pairs compared: %ld of %ld, %lld bytes\n", compared, pairs,
                static_cast<long long>(bytesCompared));
    EXPECT_GT(compared, pairs / 2) << "too many runs were held back by the machine to compare";
    EXPECT_GT(bytesCompared, 0);
}
