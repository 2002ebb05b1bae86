#pragma once

// The adversary: a thread that keeps changing a trial's tree while the
// clean runs, and keeps account of what must still be there afterwards.
//
// What it does, at random times and on random targets found by walking the
// tree as it is at that moment: swaps a folder of a location (or the
// location's root, or one of the folders above it) for a link into the
// decoy, or for the decoy's own folder of that name; swaps a folder or file
// for a named pipe; renames victim files into
// a location's folders; adds hard links to a location's files; rewrites
// them; moves one away and puts a new file in its place; creates new files,
// folders, links and pipes in a location's folders; and, as root, gives
// files and folders to another owner. It never deletes anything. Some
// adversaries also start a child process before the clean that holds a few
// of the files the rules allow to go, and a folder, open until the trial
// ends: those must be kept.
//
// Every change is made while holding the referee's freeze, so that the
// referee can tell each change from the cleaner's own steps, and is written
// to the journal.

#include "tests/harness/Holder.h"
#include "tests/harness/TrialTree.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace quillon::harness {

// What must be found at a path when the trial ends.
struct Expectation {
    std::uint32_t type = 0;     // S_IFREG, S_IFDIR, S_IFLNK or S_IFIFO
    std::uint64_t hash = 0;     // content of a file
    std::string target;         // target of a link
    bool touched = false;       // the adversary made, changed or moved this very item
};

// One change the adversary tried.
struct Mutation {
    std::uint64_t generation = 0; // the referee's count when it was made
    std::string kind;
    std::string path;
    std::string other;            // the second path, where there is one
    bool applied = false;
    std::string failure;          // why it was not applied
};

class Adversary {
public:
    enum class Mode { random, quiet };
    // `seed` decides the adversary's whole behaviour; one in eight is quiet
    // and makes no change at all, and with Mode::quiet every one is.
    Adversary(const Trial& trial, std::uint64_t seed, Mode mode = Mode::random);
    ~Adversary();
    Adversary(const Adversary&) = delete;
    Adversary& operator=(const Adversary&) = delete;

    bool quiet() const { return quiet_; }

    // Starts the holding child, where there is one, then the thread; the
    // thread changes the tree until stop() or its budget ends.
    void start();
    // Stops the thread and waits for it, then lets the holding child end.
    void stop();

    // What must be found when the trial ends, by path: everything that the
    // rules never let go, and everything the adversary made or touched.
    const std::map<std::string, Expectation>& expectations() const { return expected_; }
    const std::vector<Mutation>& journal() const { return journal_; }
    int attempted() const { return static_cast<int>(journal_.size()); }
    int applied() const;
    // The paths held open by a child (where they were when it opened them).
    const std::vector<std::string>& held() const { return held_; }

    // Single changes, each made at once under the referee's freeze (the
    // thread makes them at random; focused tests call them directly).
    void swapForLink(const std::string& path);
    void swapForFolder(const std::string& path);
    void swapForPipe(const std::string& path);
    void renameIn(const std::string& victim, const std::string& folder);
    void hardLink(const std::string& file);
    void rewrite(const std::string& file);
    void replace(const std::string& file);
    void create(const std::string& folder);
    void giveAway(const std::string& path);
    // Starts a child that holds `files` and `folder` open until stop(); each
    // must be found afterwards as it is now (see Holder).
    void holdOpen(const std::vector<HeldFile>& files, const std::string& folder);

private:
    void run();
    // Makes `changes` changes on targets found by one walk of the tree.
    void mutate(int changes);
    void strike(const std::vector<std::string>& folders, const std::vector<std::string>& files,
                const std::vector<std::string>& untouched, const std::vector<std::string>& victims,
                const std::vector<std::string>& parents);

    // Moves the expectations at and below `from` to `to`, as a rename did;
    // an item that had none gets one (it was planned; now it is out of reach).
    void moved(const std::string& from, const std::string& to, std::uint32_t type, std::uint64_t hash);
    void expect(const std::string& path, std::uint32_t type, std::uint64_t hash = 0, std::string target = {});
    Mutation& note(std::uint64_t generation, std::string kind, std::string path, std::string other = {});
    // Holds a few plannable files of the trial and a folder open.
    void holdSomePlannable();
    std::string fresh(const std::string& stem);
    std::string newContent();
    bool chance(double p);
    int between(int low, int high);

    const Trial& trial_;
    std::mt19937_64 rng_;
    bool quiet_ = false;
    int budget_ = 0;
    int delayMicroseconds_ = 0;
    int longestPauseMicroseconds_ = 0;
    bool pounce_ = false;           // waits for the first deletion, then strikes without pause
    bool holds_ = false;            // starts a holding child before the clean
    int counter_ = 0;
    bool canGiveAway_ = false;
    unsigned otherUid_ = 0;
    unsigned otherGid_ = 0;
    std::map<std::string, Expectation> expected_;
    std::vector<Mutation> journal_;
    std::vector<std::string> held_;
    std::unique_ptr<Holder> holder_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace quillon::harness
