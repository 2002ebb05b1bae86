#include "tests/harness/Adversary.h"

#include "platform/Descriptor.h"
#include "platform/FileIo.h"
#include "tests/support/Processes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::harness {

bool Adversary::strike(const std::string& target) {
    const auto chance = [&](double p) { return std::bernoulli_distribution(p)(rng_); };
    std::vector<std::string> files, folders, victims;
    for (const auto& [path, entry] : walk(layout_.root, false)) {
        const bool in = layout_.inside(path), folder = entry.identity.type == S_IFDIR;
        const auto below = [&](const std::string& location) { return within(location, path); };
        if (folder && (in || (path != layout_.root && chance(0.3) && std::ranges::any_of(layout_.locations, below))))
            folders.push_back(path);
        else if (entry.identity.type == S_IFREG && (in || within(path, layout_.victims)))
            (in ? files : victims).push_back(path);
    }
    if (const std::optional<Entry> entry = entryAt(target, false); entry && layout_.inside(target))
        (entry->identity.type == S_IFDIR ? folders : files) = {target};
    const auto pick = [&](const std::vector<std::string>& items) {
        return items.empty() ? "" : items[std::uniform_int_distribution<std::size_t>(0, items.size() - 1)(rng_)];
    };
    return act(pick(files), pick(folders), pick(victims));
}

bool Adversary::act(const std::string& file, const std::string& folder, const std::string& victim) {
    const auto chance = [&](double p) { return std::bernoulli_distribution(p)(rng_); };
    const std::string& item = file.empty() || (!folder.empty() && chance(0.4)) ? folder : file;
    const std::string& near = folder.empty() || chance(0.4) ? layout_.moved : folder;
    const int kind = std::uniform_int_distribution<int>(0, 11)(rng_);
    const std::string spare = fresh(kind == 2 ? folder : kind == 3 || (kind > 5 && kind < 10) ? near : layout_.moved);
    switch (kind) {
    case 0:
        return !folder.empty() && moveTo(folder, spare) && ::symlink(layout_.victims.c_str(), folder.c_str()) == 0 &&
               note(folder);
    case 1: return !item.empty() && moveTo(item, spare) && ::mkfifo(item.c_str(), 0600) == 0 && note(item);
    case 2: return !victim.empty() && !folder.empty() && moveTo(victim, spare);
    case 3: return !file.empty() && ::link(file.c_str(), spare.c_str()) == 0 && note(file) && note(spare);
    case 4: {
        const std::optional<Entry> was = file.empty() ? std::nullopt : entryAt(file, false);
        if (!was || !write(file, O_TRUNC)) return false;
        for (const auto& [path, expected] : expected_) // every other name of the file holds the new bytes too
            if (expected.identity.inode == was->identity.inode) note(path);
        return note(file);
    }
    case 5: return !file.empty() && moveTo(file, spare) && write(file, O_CREAT | O_EXCL) && note(file);
    case 6: return write(spare, O_CREAT | O_EXCL) && note(spare);
    case 7: return ::mkdir(spare.c_str(), 0700) == 0 && note(spare);
    case 8: return ::symlink(layout_.victims.c_str(), spare.c_str()) == 0 && note(spare);
    case 9: return ::mkfifo(spare.c_str(), 0600) == 0 && note(spare);
    }
    unsigned uid = 0, gid = 0;
    if (item.empty() || ::geteuid() != 0 || !testing::unprivilegedAccount(uid, gid) ||
        ::lchown(item.c_str(), uid, gid) != 0)
        return false;
    // A folder's owner is read before it is opened and not again before it goes (its times change as it is
    // emptied): a folder given away while it is being emptied may go; what it held is judged alone.
    return item == folder || note(item);
}

std::string Adversary::fresh(const std::string& folder) {
    ++counter_; // no ".log" on every other name, so that some never match a pattern
    return folder + "/adversary-" + std::to_string(counter_) + (counter_ % 2 == 0 ? ".log" : "");
}

bool Adversary::write(const std::string& path, int flags) {
    const std::size_t size = std::uniform_int_distribution<std::size_t>(0, 5000)(rng_);
    const platform::Descriptor fd(::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | flags, 0600));
    return fd && platform::writeAll(fd.get(), std::string(size, 'n')) == 0;
}

bool Adversary::note(const std::string& path) {
    const std::optional<Entry> entry = entryAt(path);
    if (entry) (expected_[path] = *entry).touched = true;
    return entry.has_value();
}

bool Adversary::moveTo(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) return false;
    // What comes to lie in a location counts as touched: in a trial too slow for the margin it might go.
    const bool into = layout_.inside(to);
    for (auto it = expected_.lower_bound(from); it != expected_.end() && it->first.starts_with(from);)
        if (within(it->first, from)) {
            const auto carried = expected_.insert_or_assign(to + it->first.substr(from.size()), it->second).first;
            carried->second.touched |= into;
            it = expected_.erase(it);
        } else {
            ++it;
        }
    return note(to);
}

} // namespace quillon::harness
