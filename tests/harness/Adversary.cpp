#include "tests/harness/Adversary.h"

#include "platform/Descriptor.h"
#include "platform/FileIo.h"
#include "tests/support/Fixture.h"
#include "tests/support/Processes.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::harness {

namespace {

bool within(const std::string& path, const std::string& root) {
    return path.compare(0, root.size(), root) == 0 && (path.size() == root.size() || path[root.size()] == '/');
}

} // namespace

bool Layout::inside(const std::string& path) const {
    return std::any_of(locations.begin(), locations.end(), [&](const std::string& l) { return within(path, l); });
}

bool Adversary::strike(const std::string& target) {
    std::vector<std::string> files, folders, victims;
    for (const auto& [path, entry] : walk(layout_.root, false)) {
        const bool in = layout_.inside(path), folder = entry.identity.type == S_IFDIR;
        const bool above = folder && path != layout_.root && std::bernoulli_distribution(0.3)(rng_) &&
                           std::any_of(layout_.locations.begin(), layout_.locations.end(),
                                       [&](const std::string& l) { return within(l, path); });
        if ((in && folder) || above) folders.push_back(path);
        else if (in && entry.identity.type == S_IFREG) files.push_back(path);
        else if (entry.identity.type == S_IFREG && within(path, layout_.victims)) victims.push_back(path);
    }
    if (const std::optional<Entry> entry = entryAt(target, false); entry && layout_.inside(target))
        (entry->identity.type == S_IFDIR ? folders : files) = {target};
    const auto pick = [&](const std::vector<std::string>& items) {
        return items.empty() ? std::string() : items[std::uniform_int_distribution<std::size_t>(0, items.size() - 1)(rng_)];
    };
    return act(pick(files), pick(folders), pick(victims));
}

bool Adversary::act(const std::string& file, const std::string& folder, const std::string& victim) {
    const std::string& item = file.empty() || (!folder.empty() && std::bernoulli_distribution(0.4)(rng_)) ? folder : file;
    const std::string& near = folder.empty() || std::bernoulli_distribution(0.4)(rng_) ? layout_.moved : folder;
    const int kind = std::uniform_int_distribution<int>(0, 11)(rng_), what = kind - 6;
    unsigned uid = 0, gid = 0;
    switch (kind) {
    case 0: return !folder.empty() && moveTo(folder, fresh(layout_.moved)) && ::symlink(layout_.victims.c_str(), folder.c_str()) == 0 && note(folder);
    case 1: return !item.empty() && moveTo(item, fresh(layout_.moved)) && ::mkfifo(item.c_str(), 0600) == 0 && note(item);
    case 2: return !victim.empty() && !folder.empty() && moveTo(victim, fresh(folder));
    case 3: {
        const std::string link = fresh(near);
        return !file.empty() && ::link(file.c_str(), link.c_str()) == 0 && note(file) && note(link);
    }
    case 4:
        if (file.empty() || !write(file, O_TRUNC)) return false;
        for (auto& [path, expectation] : expected_)  // every other name of the file holds the new bytes too
            if (const std::optional<Entry> other = entryAt(path, false), now = entryAt(file, false); other && now && other->identity.inode == now->identity.inode)
                note(path);
        return note(file);
    case 5: return !file.empty() && moveTo(file, fresh(layout_.moved)) && write(file, O_CREAT | O_EXCL) && note(file);
    case 6: case 7: case 8: case 9: {
        const std::string path = fresh(near);
        return (what == 0 ? write(path, O_CREAT | O_EXCL) : what == 1 ? ::mkdir(path.c_str(), 0700) == 0
                : what == 2 ? ::symlink(layout_.victims.c_str(), path.c_str()) == 0 : ::mkfifo(path.c_str(), 0600) == 0) && note(path);
    }
    default:
        if (item.empty() || ::geteuid() != 0 || !testing::unprivilegedAccount(uid, gid) || ::lchown(item.c_str(), uid, gid) != 0)
            return false;
        // A folder's owner is read before it is opened and not again before it goes (its times change as it
        // is emptied): a folder given away while it is being emptied may go; what it held is judged alone.
        return item == folder || note(item);
    }
}

std::string Adversary::fresh(const std::string& folder) {
    ++counter_;  // no ".log" on every other name, so that some never match a pattern
    return folder + "/adversary-" + std::to_string(counter_) + (counter_ % 2 == 0 ? ".log" : "");
}

bool Adversary::write(const std::string& path, int flags) {
    const platform::Descriptor fd(::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | flags, 0600));
    return fd && platform::writeAll(fd.get(), std::string(std::uniform_int_distribution<std::size_t>(0, 5000)(rng_), 'n')) == 0;
}

bool Adversary::note(const std::string& path) {
    const std::optional<Entry> entry = entryAt(path, true);
    if (entry) expected_[path] = Expectation{entry->identity.type, entry->hash, entry->target, true};
    return entry.has_value();
}

bool Adversary::moveTo(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) return false;
    // What comes to lie in a location counts as touched: in a trial too slow for the margin it might go.
    const bool into = layout_.inside(to);
    Expectations carried;
    for (auto it = expected_.lower_bound(from); it != expected_.end() && it->first.compare(0, from.size(), from) == 0;)
        if (within(it->first, from)) {
            Expectation& moved = carried[to + it->first.substr(from.size())] = it->second;
            moved.touched = moved.touched || into;
            it = expected_.erase(it);
        } else {
            ++it;
        }
    expected_.merge(carried);
    return note(to);
}

} // namespace quillon::harness
