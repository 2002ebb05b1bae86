// The harness's own proof: each invariant fails when a cleaner breaks it.
// These cleaners are deliberately careless stand-ins for the real one.

#include "platform/Descriptor.h"
#include "tests/harness/Referee.h"
#include "tests/harness/TrialRun.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace quillon;
using namespace quillon::harness;
namespace t = quillon::testing;

namespace {

bool mentions(const Findings& findings, const std::string& text) {
    return std::any_of(findings.problems.begin(), findings.problems.end(),
                       [&](const std::string& problem) { return problem.find(text) != std::string::npos; });
}

// The first trial, from seed 1 on, with a location folder that holds at
// least one file the rules let go.
Trial trialWithPlannableFile() {
    for (std::uint64_t seed = 1;; ++seed) {
        Trial trial = buildTrial(t::freshDirectory("selfcheck"), seed);
        const bool found = std::any_of(trial.plannable.begin(), trial.plannable.end(), [&](const std::string& path) {
            return trial.initial.at(path).identity.regular();
        });
        if (found) return trial;
        removeTree(trial.root);
    }
}

std::string firstPlannableFile(const Trial& trial) {
    for (const std::string& path : trial.plannable)
        if (trial.initial.at(path).identity.regular()) return path;
    return {};
}

// Deletes every file below the folder open on `fd`, following links, with
// no look at what it deletes.
void deleteEverything(int fd) {
    platform::Descriptor duplicate(::dup(fd));
    DIR* stream = ::fdopendir(duplicate.release());
    if (stream == nullptr) return;
    while (const dirent* entry = ::readdir(stream)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        platform::Descriptor inner(::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (inner) deleteEverything(inner.get());
        else ::unlinkat(fd, name.c_str(), 0);
    }
    ::closedir(stream);
}

// Looks the file `target` up right before deleting it, but never compares
// it with anything and never asks whether it is open.
Report lookUpAndDelete(const Trial& trial, const std::string& target) {
    const std::string name = target.substr(target.rfind('/') + 1);
    platform::Descriptor parent(::open(parentOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct statx raw {};
    Report report;
    if (parent && ::statx(parent.get(), name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &raw) == 0 &&
        ::unlinkat(parent.get(), name.c_str(), 0) == 0)
        report.removed = trial.initial.at(target).identity.bytes;
    return report;
}

} // namespace

TEST(HarnessReferee, RefusesAnUnlinkWhenTheItemChangedAfterTheCleanersLastLook) {
    const std::string dir = t::freshDirectory("referee");
    t::writeFile(dir + "/f", "old");
    t::setModificationTime(dir + "/f", t::now() - 1000);
    platform::Descriptor folder(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(folder);
    Referee::begin();
    int rc = 0, error = 0;
    {
        Referee::CleanerThread cleaner;
        struct statx raw {};
        ASSERT_EQ(::statx(folder.get(), "f", AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &raw), 0);
        std::thread([&] {
            std::uint64_t generation = 0;
            const auto frozen = Referee::freeze(generation);
            t::writeFile(dir + "/f", "rewritten");
        }).join();
        rc = ::unlinkat(folder.get(), "f", 0);
        error = errno;
    }
    const RefereeRecord record = Referee::end();
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(error, EBUSY);
    EXPECT_EQ(record.windowsClosed, 1);
    EXPECT_TRUE(record.removals.empty());
    EXPECT_EQ(t::readFile(dir + "/f"), "rewritten");
}

TEST(HarnessReferee, RecordsWhatTheCleanerLastSawOfEachRemovedItem) {
    const std::string dir = t::freshDirectory("referee");
    t::writeFile(dir + "/looked", "a");
    t::writeFile(dir + "/unlooked", "b");
    platform::Descriptor folder(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(folder);
    const std::optional<Identity> before = identityOf(dir + "/looked");
    ASSERT_TRUE(before);
    Referee::begin();
    {
        Referee::CleanerThread cleaner;
        struct statx raw {};
        ASSERT_EQ(::statx(folder.get(), "looked", AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &raw), 0);
        EXPECT_EQ(::unlinkat(folder.get(), "looked", 0), 0);
        EXPECT_EQ(::unlinkat(folder.get(), "unlooked", 0), 0);
    }
    const RefereeRecord record = Referee::end();
    ASSERT_EQ(record.removals.size(), 2u);
    EXPECT_EQ(record.removals[0].path, dir + "/looked");
    ASSERT_TRUE(record.removals[0].seen.has_value());
    EXPECT_TRUE(sameForRemoval(*record.removals[0].seen, *before));
    EXPECT_TRUE(sameForRemoval(record.removals[0].gone, *before));
    EXPECT_EQ(record.removals[1].path, dir + "/unlooked");
    EXPECT_FALSE(record.removals[1].seen.has_value());
}

TEST(HarnessChecks, ACleanerThatFollowsALinkIntoTheDecoyLosesVictimsAndIsCaught) {
    const Trial trial = trialWithPlannableFile();
    Adversary adversary(trial, 1, Adversary::Mode::quiet);
    const std::string root = trial.governing(firstPlannableFile(trial))->path;
    adversary.swapForLink(root);
    ASSERT_EQ(adversary.applied(), 1);
    const TrialResult result = runUnsettledTrial(trial, adversary, [&](const CleanPlaces&, const LogCallback&) {
        platform::Descriptor followed(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (followed) deleteEverything(followed.get());
        return Report{};
    });
    EXPECT_GT(result.findings.victimsLost, 0);
    EXPECT_GT(result.findings.badRemovals, 0);
    EXPECT_TRUE(mentions(result.findings, "victim lost: the file /decoy/")) << trialAccount(trial, adversary, result);
    EXPECT_TRUE(mentions(result.findings, "which the rules keep"));
}

TEST(HarnessChecks, ACleanerThatDeletesARewrittenFileIsCaught) {
    const Trial trial = trialWithPlannableFile();
    Adversary adversary(trial, 1, Adversary::Mode::quiet);
    const std::string target = firstPlannableFile(trial);
    adversary.rewrite(target);
    ASSERT_EQ(adversary.applied(), 1);
    const TrialResult result = runUnsettledTrial(trial, adversary, [&](const CleanPlaces&, const LogCallback&) {
        return lookUpAndDelete(trial, target);
    });
    EXPECT_EQ(result.findings.victimsLost, 1);
    EXPECT_EQ(result.findings.badRemovals, 1);
    EXPECT_TRUE(mentions(result.findings, "after it changed")) << trialAccount(trial, adversary, result);
}

TEST(HarnessChecks, ACleanerThatDeletesAFileHeldOpenIsCaught) {
    const Trial trial = trialWithPlannableFile();
    Adversary adversary(trial, 1, Adversary::Mode::quiet);
    const std::string target = firstPlannableFile(trial);
    const TrialResult result = runUnsettledTrial(trial, adversary, [&](const CleanPlaces&, const LogCallback&) {
        adversary.holdOpen({{target, true}}, parentOf(target));
        return lookUpAndDelete(trial, target);
    });
    EXPECT_EQ(result.findings.victimsLost, 1);
    EXPECT_EQ(result.findings.badRemovals, 0);
    EXPECT_TRUE(mentions(result.findings, "victim lost: the file " + target.substr(trial.root.size()) + " is gone"))
        << trialAccount(trial, adversary, result);
    EXPECT_EQ(result.findings.childrenLeft, 0);
}

TEST(HarnessChecks, LeakedDescriptorsChildrenAndOvercountedBytesAreCaught) {
    const Trial trial = trialWithPlannableFile();
    Adversary adversary(trial, 1, Adversary::Mode::quiet);
    platform::Descriptor leaked;
    const TrialResult result = runUnsettledTrial(trial, adversary, [&](const CleanPlaces&, const LogCallback&) {
        leaked = platform::Descriptor(::open(trial.root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        const pid_t child = ::fork();
        if (child == 0) ::_exit(0);
        // Waits for it to end but leaves it unreaped, as a careless cleaner would.
        siginfo_t info {};
        ::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT);
        Report report;
        report.removed = 4096;
        return report;
    });
    leaked.reset();
    EXPECT_EQ(result.findings.descriptorsLeaked, 1);
    EXPECT_EQ(result.findings.childrenLeft, 1);
    EXPECT_TRUE(mentions(result.findings, "the report says 4096 bytes removed; 0 were removed, 0 disappeared"));
    // A quiet trial in which nothing went is caught as well.
    EXPECT_TRUE(mentions(result.findings, "left alone without a reason: "));
    EXPECT_EQ(result.findings.victimsLost, 0);
    EXPECT_EQ(result.findings.badRemovals, 0);
}
