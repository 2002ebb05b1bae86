#pragma once

// One adversarial trial from start to end, and what is checked afterwards.
//
// After every trial:
// - every victim is where the adversary's account says, with its content
//   (victims: everything the rules never let go, and everything the
//   adversary made, changed or moved);
// - every deletion the referee saw was of an item that the rules allow to
//   go, and what the cleaner last saw of it before deleting it (a file's
//   last look-up, a folder's look-up before its last opening) was the item
//   exactly as it was built: nothing the adversary changed ever went;
// - the report's `removed` equals the allocated bytes of those items, and
//   exactly those items' inodes disappeared from the tree;
// - the process holds as many descriptors as before and has no child;
// - with a quiet adversary, exactly the items the rules allow were removed
//   (in the locations not held back by a running tool or an unreadable
//   open-file list).

#include "engine/Report.h"
#include "tests/harness/Adversary.h"
#include "tests/harness/Referee.h"
#include "tests/harness/TrialTree.h"

#include <functional>
#include <string>
#include <vector>

namespace quillon::harness {

// What ran in place of the cleaner; the real one is the engine's clean.
using Cleaner = std::function<Report(const CleanPlaces& places, const LogCallback& onLog)>;

// The real clean, as a cleaner.
Report realClean(const CleanPlaces& places, const LogCallback& onLog);

struct Findings {
    std::vector<std::string> problems;  // empty when every invariant held
    int victimsLost = 0;
    int badRemovals = 0;
    int descriptorsLeaked = 0;
    int childrenLeft = 0;
    int environmentRefusals = 0;        // locations held back by the machine, not by the tree
    bool attributable = true;           // the trial was short enough for the age margin to hold
};

struct TrialResult {
    Report report;
    RefereeRecord referee;
    std::vector<std::string> log;
    Findings findings;
    double seconds = 0;
};

// Runs `cleaner` on `trial` (waiting first until it is settled) while
// `adversary` works on it, then checks every invariant.
TrialResult runTrial(const Trial& trial, Adversary& adversary, const Cleaner& cleaner = realClean);

// The same without waiting (for cleaners that do not look at ages).
TrialResult runUnsettledTrial(const Trial& trial, Adversary& adversary, const Cleaner& cleaner);

// Checks the invariants of a finished trial, given what the cleaner
// reported, what the referee saw and the tree as it is now. Unless the
// trial is `attributable`, what the adversary touched is not judged (see
// Findings::attributable).
Findings checkTrial(const Trial& trial, const Adversary& adversary, const Report& report,
                    const RefereeRecord& referee, bool attributable = true);

// A readable account of a trial for a failure message: the tree's
// locations, the report, the journal and the referee's record.
std::string trialAccount(const Trial& trial, const Adversary& adversary, const TrialResult& result);

// Counts and reaps the children of this process that are still there.
int childrenLeft();

} // namespace quillon::harness
