#include "tests/harness/Adversary.h"

#include "platform/Descriptor.h"
#include "tests/harness/Referee.h"
#include "tests/support/Fixture.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::harness {

namespace {

std::uint64_t hashOf(const std::string& path) {
    const std::optional<std::string> content = readContent(path);
    return content ? contentHash(*content) : 0;
}

std::string errorText() { return std::strerror(errno); }

const char* const linkSwap = "swap folder for link";

} // namespace

Adversary::Adversary(const Trial& trial, std::uint64_t seed, Mode mode) : trial_(trial), rng_(seed) {
    quiet_ = chance(0.12) || mode == Mode::quiet;
    budget_ = between(3, 60);
    // Some adversaries strike before the plan is made, most while the
    // cleaner asks for open files, some in bursts with no pause at all.
    delayMicroseconds_ = chance(0.4) ? between(0, 5000) : chance(0.7) ? between(5000, 60000) : between(60000, 200000);
    longestPauseMicroseconds_ = chance(0.3) ? 0 : chance(0.7) ? 3000 : 15000;
    pounce_ = chance(0.3);
    canGiveAway_ = ::geteuid() == 0 && testing::unprivilegedAccount(otherUid_, otherGid_);
    holds_ = !quiet_ && chance(0.35);
    for (const auto& [path, entry] : trial.initial)
        if (trial.plannable.count(path) == 0) {
            Expectation expectation;
            expectation.type = entry.identity.type;
            expectation.hash = entry.hash;
            expectation.target = entry.target;
            expected_[path] = expectation;
        }
}

Adversary::~Adversary() { stop(); }

void Adversary::start() {
    if (holds_) holdSomePlannable();
    if (!quiet_) thread_ = std::thread([this] { run(); });
}

void Adversary::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    holder_.reset();
}

int Adversary::applied() const {
    return static_cast<int>(std::count_if(journal_.begin(), journal_.end(), [](const Mutation& m) { return m.applied; }));
}

bool Adversary::chance(double p) { return std::bernoulli_distribution(p)(rng_); }
int Adversary::between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }

std::string Adversary::fresh(const std::string& stem) { return "x-" + stem + "-" + std::to_string(++counter_); }

std::string Adversary::newContent() {
    std::string bytes(static_cast<std::size_t>(chance(0.2) ? 0 : between(1, 12000)), '\0');
    for (char& c : bytes) c = static_cast<char>('A' + between(0, 25));
    return bytes;
}

void Adversary::run() {
    if (pounce_) {
        // Strike while the cleaner is deleting: between its comparisons and
        // its deletions, and inside folders it is emptying.
        while (!stopping_ && Referee::removalsSoFar() == 0) std::this_thread::sleep_for(std::chrono::microseconds(20));
    } else {
        std::this_thread::sleep_for(std::chrono::microseconds(delayMicroseconds_));
    }
    while (!stopping_ && attempted() < budget_) {
        mutate(pounce_ ? 4 : 1);
        if (longestPauseMicroseconds_ > 0 && !pounce_)
            std::this_thread::sleep_for(std::chrono::microseconds(between(0, longestPauseMicroseconds_)));
    }
}

void Adversary::mutate(int changes) {
    const std::map<std::string, Entry> live = scanTree(trial_.root, false);
    std::vector<std::string> folders, files, untouched, victims, parents;
    for (const auto& [path, entry] : live) {
        const bool inside = trial_.insideLocation(path);
        const auto expectation = expected_.find(path);
        if (inside && entry.identity.directory()) folders.push_back(path);
        if (inside && entry.identity.regular()) {
            files.push_back(path);
            if (expectation == expected_.end()) untouched.push_back(path);
        }
        if (!inside && expectation != expected_.end() && entry.identity.regular() &&
            !within(path, trial_.places.temp))
            victims.push_back(path);
    }
    for (const Candidate& location : trial_.locations)
        for (std::string path = location.path; path.size() > trial_.root.size() + 1; path = parentOf(path)) {
            const auto found = live.find(path);
            if (found != live.end() && found->second.identity.directory() && !within(path, trial_.places.temp) &&
                std::find(parents.begin(), parents.end(), path) == parents.end())
                parents.push_back(path);
        }
    for (int tries = 0; tries < 8 * changes && changes > 0; ++tries) {
        const int before = attempted();
        strike(folders, files, untouched, victims, parents);
        if (attempted() == before) continue;
        --changes;
        // Paths found before a folder became a link could now lead through
        // it; walk again first.
        if (journal_.back().kind == linkSwap) break;
    }
}

void Adversary::strike(const std::vector<std::string>& folders, const std::vector<std::string>& files,
                       const std::vector<std::string>& untouched, const std::vector<std::string>& victims,
                       const std::vector<std::string>& parents) {
    const auto pick = [&](const std::vector<std::string>& items) -> const std::string& {
        return items[static_cast<std::size_t>(between(0, static_cast<int>(items.size()) - 1))];
    };
    const auto fileTarget = [&]() -> const std::string& {
        return !untouched.empty() && (files.empty() || chance(0.75)) ? pick(untouched) : pick(files);
    };
    const int roll = between(0, 99);
    if (roll < 12) {
        // Swapping a base folder (the home, the cache folder) ends the trial
        // for every location below it, so it is rare.
        if (!folders.empty() && (parents.empty() || chance(0.75))) return swapForLink(pick(folders));
        if (parents.empty()) return;
        const std::string& parent = pick(parents);
        const bool base = parent == trial_.places.home || parent == trial_.places.cache;
        if (!base || chance(0.1)) return swapForLink(parent);
    } else if (roll < 16) {
        if (!folders.empty()) return swapForFolder(pick(folders));
    } else if (roll < 20) {
        if (!folders.empty() && (files.empty() || chance(0.5))) return swapForPipe(pick(folders));
        if (!files.empty()) return swapForPipe(fileTarget());
    } else if (roll < 34) {
        if (!victims.empty() && !folders.empty()) return renameIn(pick(victims), pick(folders));
    } else if (roll < 46) {
        if (!files.empty()) return hardLink(fileTarget());
    } else if (roll < 60) {
        if (!files.empty()) return rewrite(fileTarget());
    } else if (roll < 68) {
        if (!files.empty()) return replace(fileTarget());
    } else if (roll < 90) {
        if (!folders.empty()) return create(pick(folders));
    } else if (canGiveAway_) {
        if (!folders.empty() && (files.empty() || chance(0.4))) return giveAway(pick(folders));
        if (!files.empty()) return giveAway(fileTarget());
    }
}

Mutation& Adversary::note(std::uint64_t generation, std::string kind, std::string path, std::string other) {
    Mutation mutation;
    mutation.generation = generation;
    mutation.kind = std::move(kind);
    mutation.path = std::move(path);
    mutation.other = std::move(other);
    journal_.push_back(std::move(mutation));
    return journal_.back();
}

void Adversary::expect(const std::string& path, std::uint32_t type, std::uint64_t hash, std::string target) {
    Expectation& expectation = expected_[path];
    expectation.type = type;
    expectation.hash = hash;
    expectation.target = std::move(target);
    expectation.touched = true;
}

void Adversary::moved(const std::string& from, const std::string& to, std::uint32_t type, std::uint64_t hash) {
    std::vector<std::pair<std::string, Expectation>> carried;
    for (auto it = expected_.begin(); it != expected_.end();) {
        if (within(it->first, from)) {
            carried.emplace_back(to + it->first.substr(from.size()), it->second);
            it = expected_.erase(it);
        } else {
            ++it;
        }
    }
    // What comes to lie in a location is judged as touched: in a trial too
    // slow for the age margin it might rightly be taken.
    const bool intoLocation = trial_.insideLocation(to);
    for (auto& [path, expectation] : carried) {
        expectation.touched = expectation.touched || intoLocation;
        expected_[path] = std::move(expectation);
    }
    Expectation& top = expected_[to];
    top.type = type;
    if (type == S_IFREG) top.hash = hash;
    top.touched = true;
}

void Adversary::swapForLink(const std::string& path) {
    std::uint64_t generation = 0;
    const auto frozen = Referee::freeze(generation);
    const std::string away = trial_.moved + "/" + fresh("swapped");
    std::string target = trial_.decoy + path.substr(trial_.root.size());
    const std::optional<Identity> decoy = identityOf(target);
    if (!decoy || !decoy->directory()) target = trial_.decoy + "/home/Documents/Saved Profile";
    Mutation& m = note(generation, linkSwap, path, target);
    const std::optional<Identity> now = identityOf(path);
    if (!now || !now->directory()) return void(m.failure = "no longer a folder");
    if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, away.c_str(), RENAME_NOREPLACE) != 0)
        return void(m.failure = "rename: " + errorText());
    moved(path, away, S_IFDIR, 0);
    if (::symlink(target.c_str(), path.c_str()) != 0) return void(m.failure = "symlink: " + errorText());
    expect(path, S_IFLNK, 0, target);
    m.applied = true;
}

void Adversary::swapForFolder(const std::string& path) {
    // An old folder moved in keeps its old files, which an old-file scan
    // (blind to folder times) may rightly take; only where a folder's own
    // time counts is the swap sure to be refused.
    // (An old-children root's own time does not count either.)
    const Candidate* location = trial_.governing(path);
    if (location == nullptr || location->mode == ScanMode::oldFiles || location->mode == ScanMode::oldTopFiles ||
        (location->mode == ScanMode::oldChildren && location->path == path))
        return;
    std::uint64_t generation = 0;
    const auto frozen = Referee::freeze(generation);
    const std::string away = trial_.moved + "/" + fresh("swapped");
    const std::string decoy = trial_.decoy + path.substr(trial_.root.size());
    Mutation& m = note(generation, "swap folder for decoy folder", path, decoy);
    const std::optional<Identity> now = identityOf(path);
    const std::optional<Identity> replacement = identityOf(decoy);
    if (!now || !now->directory()) return void(m.failure = "no longer a folder");
    if (!replacement || !replacement->directory()) return void(m.failure = "no decoy folder");
    if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, away.c_str(), RENAME_NOREPLACE) != 0)
        return void(m.failure = "rename: " + errorText());
    moved(path, away, S_IFDIR, 0);
    if (::renameat2(AT_FDCWD, decoy.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0)
        return void(m.failure = "rename decoy: " + errorText());
    moved(decoy, path, S_IFDIR, 0);
    m.applied = true;
}

void Adversary::swapForPipe(const std::string& path) {
    std::uint64_t generation = 0;
    const auto frozen = Referee::freeze(generation);
    const std::string away = trial_.moved + "/" + fresh("piped");
    Mutation& m = note(generation, "swap for pipe", path);
    const std::optional<Identity> now = identityOf(path);
    if (!now || (!now->directory() && !now->regular())) return void(m.failure = "gone");
    const std::uint64_t hash = now->regular() ? hashOf(path) : 0;
    if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, away.c_str(), RENAME_NOREPLACE) != 0)
        return void(m.failure = "rename: " + errorText());
    moved(path, away, now->type, hash);
    if (::mkfifo(path.c_str(), 0600) != 0) return void(m.failure = "mkfifo: " + errorText());
    expect(path, S_IFIFO);
    m.applied = true;
}

void Adversary::renameIn(const std::string& victim, const std::string& folder) {
    std::uint64_t generation = 0;
    const auto frozen = Referee::freeze(generation);
    const std::string destination = folder + "/" + fresh("moved-in") + (chance(0.5) ? ".log" : "");
    Mutation& m = note(generation, "rename victim in", victim, destination);
    const std::optional<Identity> now = identityOf(victim);
    const std::optional<Identity> into = identityOf(folder);
    if (!now || !now->regular() || !into || !into->directory()) return void(m.failure = "gone");
    const std::uint64_t hash = hashOf(victim);
    if (::renameat2(AT_FDCWD, victim.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) != 0)
        return void(m.failure = "rename: " + errorText());
    moved(victim, destination, S_IFREG, hash);
    m.applied = true;
}

void Adversary::hardLink(const std::string& file) {
    std::uint64_t generation = 0;
    const auto frozen = Referee::freeze(generation);
    const std::string folder = chance(0.6) ? parentOf(file) : trial_.moved;
    const std::string link = folder + "/" + fresh("link") + (chance(0.5) ? ".log" : "");
    Mutation& m = note(generation, "add hard link", file, link);
    const std::optional<Identity> now = identityOf(file);
    if (!now || !now->regular()) return void(m.failure = "gone");
    const std::uint64_t hash = hashOf(file);
    if (::linkat(AT_FDCWD, file.c_str(), AT_FDCWD, link.c_str(), 0) != 0) return void(m.failure = "link: " + errorText());
    expect(file, S_IFREG, hash);
    expect(link, S_IFREG, hash);
    m.applied = true;
}

void Adversary::rewrite(const std::string& file) {
    std::uint64_t generation = 0;
    const auto frozen = Referee::freeze(generation);
    Mutation& m = note(generation, "rewrite", file);
    platform::Descriptor fd(::open(file.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return void(m.failure = "open: " + errorText());
    const std::string content = newContent();
    if (::write(fd.get(), content.data(), content.size()) != static_cast<ssize_t>(content.size()))
        return void(m.failure = "write: " + errorText());
    // Every other name of the same file now holds the new contents too.
    const std::optional<Identity> rewritten = identityOf(file);
    for (auto& [path, expectation] : expected_) {
        if (expectation.type != S_IFREG || path == file || !rewritten || rewritten->links < 2) continue;
        const std::optional<Identity> other = identityOf(path);
        if (other && sameInode(*other, *rewritten)) {
            expectation.hash = contentHash(content);
            expectation.touched = true;
        }
    }
    expect(file, S_IFREG, contentHash(content));
    m.applied = true;
}

void Adversary::replace(const std::string& file) {
    std::uint64_t generation = 0;
    const auto frozen = Referee::freeze(generation);
    const std::string away = trial_.moved + "/" + fresh("replaced");
    Mutation& m = note(generation, "replace file", file, away);
    const std::optional<Identity> now = identityOf(file);
    if (!now || !now->regular()) return void(m.failure = "gone");
    const std::uint64_t hash = hashOf(file);
    if (::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, away.c_str(), RENAME_NOREPLACE) != 0)
        return void(m.failure = "rename: " + errorText());
    moved(file, away, S_IFREG, hash);
    platform::Descriptor fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd) return void(m.failure = "create: " + errorText());
    const std::string content = newContent();
    if (::write(fd.get(), content.data(), content.size()) != static_cast<ssize_t>(content.size()))
        return void(m.failure = "write: " + errorText());
    expect(file, S_IFREG, contentHash(content));
    m.applied = true;
}

void Adversary::create(const std::string& folder) {
    std::uint64_t generation = 0;
    const auto frozen = Referee::freeze(generation);
    const int kind = between(0, 9);
    const std::string path = folder + "/" + fresh("new") + (chance(0.5) ? ".log" : "");
    Mutation& m = note(generation, kind < 5 ? "create file" : kind < 7 ? "create folder" : kind < 9 ? "create link" : "create pipe", path);
    const std::optional<Identity> into = identityOf(folder);
    if (!into || !into->directory()) return void(m.failure = "gone");
    if (kind < 5) {
        platform::Descriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd) return void(m.failure = "create: " + errorText());
        const std::string content = newContent();
        if (::write(fd.get(), content.data(), content.size()) != static_cast<ssize_t>(content.size()))
            return void(m.failure = "write: " + errorText());
        expect(path, S_IFREG, contentHash(content));
    } else if (kind < 7) {
        if (::mkdir(path.c_str(), 0700) != 0) return void(m.failure = "mkdir: " + errorText());
        expect(path, S_IFDIR);
    } else if (kind < 9) {
        const std::string target = trial_.decoy + "/home/Documents/letter.txt";
        if (::symlink(target.c_str(), path.c_str()) != 0) return void(m.failure = "symlink: " + errorText());
        expect(path, S_IFLNK, 0, target);
    } else {
        if (::mkfifo(path.c_str(), 0600) != 0) return void(m.failure = "mkfifo: " + errorText());
        expect(path, S_IFIFO);
    }
    m.applied = true;
}

void Adversary::giveAway(const std::string& path) {
    std::uint64_t generation = 0;
    const auto frozen = Referee::freeze(generation);
    Mutation& m = note(generation, "change owner", path);
    const std::optional<Identity> now = identityOf(path);
    if (!now || (!now->directory() && !now->regular())) return void(m.failure = "gone");
    if (!canGiveAway_) return void(m.failure = "not root");
    if (::lchown(path.c_str(), otherUid_, otherGid_) != 0) return void(m.failure = "lchown: " + errorText());
    // A folder's owner is read before it is opened and not again before it
    // goes (its times change as it is emptied), so a folder given away only
    // while it is being emptied may go; what it held is judged on its own.
    if (now->regular()) expect(path, S_IFREG, hashOf(path));
    m.applied = true;
}

void Adversary::holdSomePlannable() {
    std::vector<std::string> files, folders;
    for (const std::string& path : trial_.plannable)
        (trial_.initial.at(path).identity.directory() ? folders : files).push_back(path);
    if (files.empty()) return;
    std::shuffle(files.begin(), files.end(), rng_);
    std::vector<HeldFile> held;
    for (int i = between(1, 3); i > 0 && !files.empty(); --i) {
        held.push_back({files.back(), chance(0.3)});
        files.pop_back();
    }
    if (folders.empty()) folders.push_back(parentOf(held.front().path));
    holdOpen(held, folders[static_cast<std::size_t>(between(0, static_cast<int>(folders.size()) - 1))]);
}

void Adversary::holdOpen(const std::vector<HeldFile>& files, const std::string& folder) {
    holder_ = std::make_unique<Holder>(files, folder);
    // Holding changes nothing in the tree, so what is held is judged in
    // every trial, however slow.
    for (const HeldFile& file : files) {
        Expectation& expectation = expected_[file.path];
        expectation.type = S_IFREG;
        expectation.hash = hashOf(file.path);
        held_.push_back(file.path);
    }
    expected_[folder].type = S_IFDIR;
    held_.push_back(folder);
}

} // namespace quillon::harness
