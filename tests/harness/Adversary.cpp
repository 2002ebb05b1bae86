#include "tests/harness/Adversary.h"

#include "platform/Descriptor.h"
#include "platform/FileIo.h"
#include "platform/FileManager.h"
#include "tests/support/Fixture.h"

#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::harness {

namespace {

std::optional<Entry> entryAt(const std::string& path, bool contents) {
    const std::optional<Identity> identity = identityAt(AT_FDCWD, path);
    if (!identity) return std::nullopt;
    Entry entry{*identity, 0, {}};
    if (identity->type == S_IFREG && contents) {
        const platform::Descriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        std::string bytes;
        if (fd && platform::readAtMost(fd.get(), 1 << 20, bytes) == 0) entry.hash = std::hash<std::string>{}(bytes);
    } else if (identity->type == S_IFLNK) {
        char buffer[4096];
        const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
        if (n > 0) entry.target.assign(buffer, static_cast<std::size_t>(n));
    }
    return entry;
}

void walkInto(const std::string& path, bool contents, Tree& out) {
    const std::optional<Entry> entry = entryAt(path, contents);
    if (!entry) return;  // gone while walking
    out[path] = *entry;
    if (entry->identity.type == S_IFDIR)
        for (const std::string& name : platform::FileManager().contentsOfDirectory(path))
            walkInto(path + "/" + name, contents, out);
}

std::string parentOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

} // namespace

Tree walk(const std::string& root, bool contents) {
    Tree out;
    walkInto(root, contents, out);
    return out;
}

bool within(const std::string& path, const std::string& root) {
    return path.compare(0, root.size(), root) == 0 && (path.size() == root.size() || path[root.size()] == '/');
}

bool Layout::inside(const std::string& path) const {
    return std::any_of(locations.begin(), locations.end(), [&](const std::string& l) { return within(path, l); });
}

Adversary::Adversary(Layout layout, Expectations expected, std::uint64_t seed)
    : layout_(std::move(layout)), expected_(std::move(expected)), rng_(seed) {}

bool Adversary::strike() {
    std::vector<std::string> folders, files, victims, parents;
    for (const auto& [path, entry] : walk(layout_.root, false)) {
        const std::uint32_t type = entry.identity.type;
        if (layout_.inside(path) && (type == S_IFDIR || type == S_IFREG)) (type == S_IFDIR ? folders : files).push_back(path);
        else if (type == S_IFREG && within(path, layout_.victims)) victims.push_back(path);
        else if (type == S_IFDIR && path != layout_.root &&
                 std::any_of(layout_.locations.begin(), layout_.locations.end(),
                             [&](const std::string& l) { return within(l, path); }))
            parents.push_back(path);
    }
    const bool anyFile = !files.empty(), anyFolder = !folders.empty();
    switch (std::uniform_int_distribution<int>(0, 8)(rng_)) {
    case 0: if (!parents.empty() && chance(0.3)) return swapForLink(pick(parents)); [[fallthrough]];
    case 1: return anyFolder && swapForLink(pick(folders));
    case 2: return anyFile || anyFolder ? swapForPipe(anyFile && chance(0.7) ? pick(files) : pick(folders)) : false;
    case 3: return !victims.empty() && anyFolder && moveIn(pick(victims), pick(folders));
    case 4: return anyFile && hardLink(pick(files));
    case 5: return anyFile && rewrite(pick(files));
    case 6: return anyFile && replace(pick(files));
    case 7: return anyFolder && create(pick(folders));
    default: return anyFile || anyFolder ? giveAway(anyFile && chance(0.6) ? pick(files) : pick(folders)) : false;
    }
}

bool Adversary::swapForLink(const std::string& path) {
    std::uint64_t generation = 0;
    const auto frozen = referee::freeze(generation);
    const std::string away = fresh(layout_.moved);
    if (::rename(path.c_str(), away.c_str()) != 0) return false;
    moved(path, away);
    if (::symlink(layout_.victims.c_str(), path.c_str()) == 0) note(path);
    return true;
}

bool Adversary::swapForPipe(const std::string& path) {
    std::uint64_t generation = 0;
    const auto frozen = referee::freeze(generation);
    const std::string away = fresh(layout_.moved);
    if (::rename(path.c_str(), away.c_str()) != 0) return false;
    moved(path, away);
    if (::mkfifo(path.c_str(), 0600) == 0) note(path);
    return true;
}

bool Adversary::moveIn(const std::string& victim, const std::string& folder) {
    std::uint64_t generation = 0;
    const auto frozen = referee::freeze(generation);
    const std::string into = fresh(folder);
    if (::rename(victim.c_str(), into.c_str()) != 0) return false;
    moved(victim, into);
    return true;
}

bool Adversary::hardLink(const std::string& file) {
    std::uint64_t generation = 0;
    const auto frozen = referee::freeze(generation);
    const std::string link = fresh(chance(0.6) ? parentOf(file) : layout_.moved);
    if (::link(file.c_str(), link.c_str()) != 0) return false;
    note(file);
    note(link);
    return true;
}

bool Adversary::rewrite(const std::string& file) {
    std::uint64_t generation = 0;
    const auto frozen = referee::freeze(generation);
    if (!write(file, O_TRUNC)) return false;
    // Every other name of the same file now holds the new contents too.
    const std::optional<Identity> now = identityAt(AT_FDCWD, file);
    for (auto& [path, expectation] : expected_) {
        const std::optional<Identity> other = identityAt(AT_FDCWD, path);
        if (now && other && other->inode == now->inode && other->device == now->device) note(path);
    }
    note(file);
    return true;
}

bool Adversary::replace(const std::string& file) {
    std::uint64_t generation = 0;
    const auto frozen = referee::freeze(generation);
    const std::string away = fresh(layout_.moved);
    if (::rename(file.c_str(), away.c_str()) != 0) return false;
    moved(file, away);
    if (write(file, O_CREAT | O_EXCL)) note(file);
    return true;
}

bool Adversary::create(const std::string& folder) {
    std::uint64_t generation = 0;
    const auto frozen = referee::freeze(generation);
    const std::string path = fresh(folder);
    const int kind = std::uniform_int_distribution<int>(0, 3)(rng_);
    const bool made = kind == 0   ? write(path, O_CREAT | O_EXCL)
                      : kind == 1 ? ::mkdir(path.c_str(), 0700) == 0
                      : kind == 2 ? ::symlink(layout_.victims.c_str(), path.c_str()) == 0
                                  : ::mkfifo(path.c_str(), 0600) == 0;
    if (made) note(path);
    return made;
}

bool Adversary::giveAway(const std::string& path) {
    unsigned uid = 0, gid = 0;
    if (::geteuid() != 0 || !testing::unprivilegedAccount(uid, gid)) return false;
    std::uint64_t generation = 0;
    const auto frozen = referee::freeze(generation);
    const std::optional<Identity> before = identityAt(AT_FDCWD, path);
    if (!before || ::lchown(path.c_str(), uid, gid) != 0) return false;
    // A folder's owner is read before it is opened and not again before it
    // goes (its times change as it is emptied), so a folder given away while
    // it is being emptied may go; what it held is judged on its own.
    if (before->type == S_IFREG) note(path);
    return true;
}

const std::string& Adversary::pick(const std::vector<std::string>& items) {
    return items[std::uniform_int_distribution<std::size_t>(0, items.size() - 1)(rng_)];
}

std::string Adversary::fresh(const std::string& folder) {
    return folder + "/adversary-" + std::to_string(++counter_) + (chance(0.5) ? ".log" : "");
}

bool Adversary::write(const std::string& path, int flags) {
    const platform::Descriptor fd(::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | flags, 0600));
    return fd && platform::writeAll(fd.get(), std::string(std::uniform_int_distribution<std::size_t>(0, 5000)(rng_), 'n')) == 0;
}

void Adversary::note(const std::string& path) {
    if (const std::optional<Entry> entry = entryAt(path, true))
        expected_[path] = Expectation{entry->identity.type, entry->hash, entry->target, true};
}

void Adversary::moved(const std::string& from, const std::string& to) {
    // What comes to lie in a location is judged as touched: in a trial too
    // slow for the age margin it might rightly be taken.
    const bool intoLocation = layout_.inside(to);
    Expectations carried;
    for (auto it = expected_.lower_bound(from); it != expected_.end() && it->first.compare(0, from.size(), from) == 0;) {
        if (!within(it->first, from)) {
            ++it;
            continue;
        }
        Expectation& expectation = carried[to + it->first.substr(from.size())] = it->second;
        expectation.touched = expectation.touched || intoLocation;
        it = expected_.erase(it);
    }
    expected_.merge(carried);
    note(to);
}

} // namespace quillon::harness
