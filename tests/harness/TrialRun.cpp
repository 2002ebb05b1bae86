#include "tests/harness/TrialRun.h"

#include "core/Errors.h"
#include "core/Texts.h"
#include "engine/Clean.h"
#include "tests/support/Fixture.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <sys/wait.h>
#include <tuple>

namespace quillon::harness {

namespace {

using InodeKey = std::tuple<std::uint64_t, std::uint64_t, long long, long>;

InodeKey keyOf(const Identity& id) {
    return {id.device, id.inode, static_cast<long long>(id.born.tv_sec), id.born.tv_nsec};
}

std::string kindName(std::uint32_t type) {
    switch (type) {
    case S_IFREG: return "file";
    case S_IFDIR: return "folder";
    case S_IFLNK: return "link";
    case S_IFIFO: return "pipe";
    default: return "special item";
    }
}

// The reasons for which a location is held back by the machine it runs on
// rather than by anything in the tree.
bool environmental(const std::string& note) {
    for (const char* refusal :
         {text::toolRunning, text::toolStarted, text::cannotVerifyOpenFiles, text::cannotCheckRunningApps})
        if (note.find(describe(SafetyError::skip(refusal))) != std::string::npos) return true;
    return note.find("Cannot launch ") != std::string::npos;
}

// HOME, TMPDIR and XDG_CACHE_HOME set as a trial with its home spelled
// otherwise has them, for the life of the object; their values before are
// put back at the end.
class SpelledEnvironment {
public:
    explicit SpelledEnvironment(const Trial& trial) {
        for (const auto& [name, value] : {std::pair<const char*, std::string>{"HOME", trial.homeSpelling},
                                          {"TMPDIR", trial.places.temp},
                                          {"XDG_CACHE_HOME", trial.places.cache}}) {
            const char* before = std::getenv(name);
            saved_.emplace_back(name, before ? std::optional<std::string>(before) : std::nullopt);
            ::setenv(name, value.c_str(), 1);
        }
    }
    ~SpelledEnvironment() {
        for (const auto& [name, value] : saved_) {
            if (value) ::setenv(name, value->c_str(), 1);
            else ::unsetenv(name);
        }
    }
    SpelledEnvironment(const SpelledEnvironment&) = delete;
    SpelledEnvironment& operator=(const SpelledEnvironment&) = delete;

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

// The places a real run finds from the environment set for `trial`, but
// for the system-wide temporary folder, which stays the trial's own. Throws
// when the home, temporary or cache folder resolves outside the trial.
CleanPlaces resolvedPlaces(const Trial& trial) {
    CleanPlaces places = currentPlaces();
    places.sharedTemp = trial.places.sharedTemp;
    for (const std::string* path : {&places.home, &places.temp, &places.cache}) {
        std::unique_ptr<char, decltype(&std::free)> real(::realpath(path->c_str(), nullptr), &std::free);
        if (!real || !within(real.get(), trial.root))
            throw std::runtime_error("HOME spelled " + trial.homeSpelling + " gives a place outside the trial: " + *path);
    }
    return places;
}

void checkExpectations(const Trial& trial, const Adversary& adversary, const std::map<std::string, Entry>& now,
                       Findings& findings) {
    for (const auto& [path, expected] : adversary.expectations()) {
        if (expected.touched && !findings.attributable) continue;
        const auto found = now.find(path);
        std::string problem;
        if (found == now.end()) problem = "is gone";
        else if (found->second.identity.type != expected.type)
            problem = "is now a " + kindName(found->second.identity.type);
        else if (expected.type == S_IFREG && found->second.hash != expected.hash) problem = "has other contents";
        else if (expected.type == S_IFLNK && found->second.target != expected.target) problem = "points elsewhere";
        if (problem.empty()) continue;
        ++findings.victimsLost;
        findings.problems.push_back("victim lost: the " + kindName(expected.type) + " " +
                                    path.substr(trial.root.size()) + " " + problem);
    }
}

void checkRemovals(const Trial& trial, const Report& report, const RefereeRecord& referee,
                   const std::map<std::string, Entry>& now, Findings& findings) {
    std::map<InodeKey, std::string> initialByInode;
    for (const auto& [path, entry] : trial.initial) initialByInode.emplace(keyOf(entry.identity), path);

    std::set<InodeKey> removed;
    std::int64_t removedBytes = 0;
    for (const Removal& removal : referee.removals) {
        const auto found = initialByInode.find(keyOf(removal.gone));
        const std::string what = (removal.directory ? "folder " : "file ") + removal.path;
        if (found == initialByInode.end()) {
            ++findings.badRemovals;
            findings.problems.push_back("removed the " + what + ", made during the trial");
            continue;
        }
        const std::string& path = found->second;
        const Identity& built = trial.initial.at(path).identity;
        removed.insert(found->first);
        removedBytes += built.bytes;
        if (trial.plannable.count(path) == 0) {
            ++findings.badRemovals;
            findings.problems.push_back("removed the " + what + " (" + path.substr(trial.root.size()) +
                                        "), which the rules keep");
        } else if (!removal.seen) {
            ++findings.badRemovals;
            findings.problems.push_back("removed the " + what + " without looking it up right before");
        } else if (findings.attributable && !sameForRemoval(*removal.seen, built)) {
            ++findings.badRemovals;
            findings.problems.push_back("removed the " + what + " after it changed (adversary change " +
                                        std::to_string(removal.generation) + " or earlier)");
        }
    }

    std::set<InodeKey> present;
    for (const auto& [path, entry] : now) present.insert(keyOf(entry.identity));
    std::set<InodeKey> disappeared;
    std::int64_t disappearedBytes = 0;
    for (const auto& [path, entry] : trial.initial)
        if (present.count(keyOf(entry.identity)) == 0 && disappeared.insert(keyOf(entry.identity)).second)
            disappearedBytes += entry.identity.bytes;
    if (disappeared != removed)
        findings.problems.push_back(std::to_string(disappeared.size()) + " items disappeared, but the referee saw " +
                                    std::to_string(removed.size()) + " of them removed");
    if (report.removed != removedBytes || report.removed != disappearedBytes)
        findings.problems.push_back("the report says " + std::to_string(report.removed) + " bytes removed; " +
                                    std::to_string(removedBytes) + " were removed, " +
                                    std::to_string(disappearedBytes) + " disappeared");
}

void checkQuietTrial(const Trial& trial, const Report& report, const RefereeRecord& referee, Findings& findings) {
    std::set<std::string> heldBack;
    for (const std::string& note : report.notes)
        if (note.rfind(text::keptPrefix, 0) == 0 && environmental(note)) {
            heldBack.insert(note.substr(6, note.find(" \u2014 ") - 6));
            ++findings.environmentRefusals;
        }
    std::set<std::string> expected;
    for (const std::string& path : trial.plannable) {
        const Candidate* location = trial.governing(path);
        if (location != nullptr && heldBack.count(location->path) == 0) expected.insert(path);
    }
    std::map<InodeKey, std::string> initialByInode;
    for (const auto& [path, entry] : trial.initial) initialByInode.emplace(keyOf(entry.identity), path);
    std::set<std::string> actual;
    for (const Removal& removal : referee.removals) {
        const auto found = initialByInode.find(keyOf(removal.gone));
        if (found != initialByInode.end()) actual.insert(found->second);
    }
    for (const std::string& path : expected)
        if (actual.count(path) == 0)
            findings.problems.push_back("left alone without a reason: " + path.substr(trial.root.size()));
    for (const std::string& path : actual)
        if (expected.count(path) == 0)
            findings.problems.push_back("removed though held back: " + path.substr(trial.root.size()));
}

} // namespace

Report realClean(const CleanPlaces& places, const LogCallback& onLog) { return clean(false, places, nullptr, {}, onLog); }

int childrenLeft() {
    int count = 0;
    for (;;) {
        int status = 0;
        const pid_t child = ::waitpid(-1, &status, WNOHANG);
        if (child > 0) {
            ++count; // an exited child nobody waited for
            continue;
        }
        if (child == 0) ++count; // a child still running: it is left behind too
        return count;
    }
}

Findings checkTrial(const Trial& trial, const Adversary& adversary, const Report& report,
                    const RefereeRecord& referee, bool attributable) {
    Findings findings;
    findings.attributable = attributable;
    const std::map<std::string, Entry> now = scanTree(trial.root);
    checkExpectations(trial, adversary, now, findings);
    checkRemovals(trial, report, referee, now, findings);
    if (adversary.quiet()) checkQuietTrial(trial, report, referee, findings);
    return findings;
}

TrialResult runTrial(const Trial& trial, Adversary& adversary, const Cleaner& cleaner) {
    waitUntilSettled(trial);
    return runUnsettledTrial(trial, adversary, cleaner);
}

TrialResult runUnsettledTrial(const Trial& trial, Adversary& adversary, const Cleaner& cleaner) {
    testing::requireFixtureEnvironment();
    // Set before the adversary starts, kept until it has stopped.
    std::optional<SpelledEnvironment> spelled;
    if (!trial.homeSpelling.empty()) spelled.emplace(trial);
    CleanPlaces places = spelled ? resolvedPlaces(trial) : trial.places;
    places.clockShift = clockShiftFor(trial);

    TrialResult result;
    const int descriptorsBefore = testing::openDescriptorCount();
    Referee::begin();
    const double start = wallNow();
    adversary.start();
    {
        Referee::CleanerThread cleanerThread;
        result.report = cleaner(places, [&](const std::string& line) { result.log.push_back(line); });
    }
    result.seconds = wallNow() - start;
    adversary.stop();
    result.referee = Referee::end();
    const int descriptorsAfter = testing::openDescriptorCount();
    const int children = childrenLeft();

    // A trial that ran longer than the margin could have let the adversary's
    // earliest changes pass as old by the time a later location was planned.
    result.findings = checkTrial(trial, adversary, result.report, result.referee, result.seconds < ageMargin - 1);
    if (descriptorsAfter != descriptorsBefore) {
        result.findings.descriptorsLeaked = std::max(0, descriptorsAfter - descriptorsBefore);
        result.findings.problems.push_back("descriptors open before the clean: " + std::to_string(descriptorsBefore) +
                                           ", after: " + std::to_string(descriptorsAfter));
    }
    if (children > 0) {
        result.findings.childrenLeft = children;
        result.findings.problems.push_back(std::to_string(children) + " child process(es) left behind");
    }
    return result;
}

std::string trialAccount(const Trial& trial, const Adversary& adversary, const TrialResult& result) {
    std::string out = "trial seed " + std::to_string(trial.seed) + " in " + trial.root + " (" +
                      std::to_string(result.seconds) + " s)\nlocations:\n";
    for (const Candidate& location : trial.locations) out += "  " + location.path.substr(trial.root.size()) + "\n";
    if (!trial.homeSpelling.empty()) out += "home spelled: " + trial.homeSpelling + "\n";
    for (const std::string& path : adversary.held()) out += "held open by a child: " + path.substr(trial.root.size()) + "\n";
    out += "problems:\n";
    for (const std::string& problem : result.findings.problems) out += "  " + problem + "\n";
    out += "report notes:\n";
    for (const std::string& note : result.report.notes) out += "  " + note + "\n";
    out += "journal:\n";
    for (const Mutation& m : adversary.journal())
        out += "  #" + std::to_string(m.generation) + " " + m.kind + " " + m.path.substr(trial.root.size()) +
               (m.other.empty() ? "" : " -> " + m.other.substr(std::min(m.other.size(), trial.root.size()))) +
               (m.applied ? "" : " (not applied: " + m.failure + ")") + "\n";
    out += "removals:\n";
    for (const Removal& r : result.referee.removals)
        out += "  after #" + std::to_string(r.generation) + " " + r.path + (r.seen ? "" : " (no look)") + "\n";
    out += "windows closed: " + std::to_string(result.referee.windowsClosed) + "\n";
    return out;
}

} // namespace quillon::harness
