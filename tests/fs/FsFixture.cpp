#include "tests/fs/FsFixture.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {
quillon::fstest::LookUpHook activeHook;
}

// Takes the C library's place in the test programs that link this file:
// platform::statAt and statDescriptor reach the kernel through it.
extern "C" int statx(int dirfd, const char* path, int flags, unsigned int mask, struct statx* answer) noexcept {
    const long result = ::syscall(SYS_statx, dirfd, path, flags, mask, answer);
    if (result == 0 && activeHook) activeHook(path, *answer);
    return static_cast<int>(result);
}

namespace quillon::fstest {

void setLookUpHook(LookUpHook hook) { activeHook = std::move(hook); }

LookUpHook afterFirstLookUpOf(const std::string& name, std::function<void()> action) {
    return [name, action, done = false](const std::string& looked, struct statx&) mutable {
        if (looked == name && !done) action();
        done = done || looked == name;
    };
}

LookUpHook replaceAfterFirstLookUpOf(const std::string& name, const std::string& path, bool byLink) {
    return afterFirstLookUpOf(name, [path, byLink] {
        must(::rename(path.c_str(), (path + ".old").c_str()) == 0);
        byLink ? t::makeSymlink(path + ".old", path) : t::makeDirectory(path);
    });
}

LookUpHook ownedByAnother(const std::string& name) {
    return [name](const std::string& looked, struct statx& answer) { answer.stx_uid += looked == name ? 1U : 0U; };
}

LookUpHook onNextDevice(const std::string& name) {
    return [name](const std::string& looked, struct statx& answer) { answer.stx_dev_minor += looked == name ? 1U : 0U; };
}

void build(const std::string& base, const std::string& shape) {
    std::istringstream words(shape);
    std::vector<std::pair<std::string, bool>> made;
    for (std::string word; words >> word;) {
        const bool recent = word.back() == '!';
        if (recent) word.pop_back();
        const std::size_t soft = word.find("->"), hard = word.find("=>"), link = std::min(soft, hard);
        const std::string path = base + "/" + word.substr(0, link == std::string::npos ? word.find('|') : link);
        if (soft != std::string::npos) t::makeSymlink(word.substr(soft + 2), path);
        else if (hard != std::string::npos) t::makeHardLink(base + "/" + word.substr(hard + 2), path);
        else if (word.back() == '|') must(::mkfifo(path.c_str(), 0600) == 0);
        else if (word.back() == '/') t::makeDirectory(path);
        else t::writeFile(path, std::string(3000, 'x'));
        made.emplace_back(path, recent);
    }
    // Last, so that making the children does not move their folders' times.
    for (const auto& [path, recent] : made) t::setModificationTime(path, recent ? t::now() + 1000 : 1e9);
}

std::string tree(const std::string& base) {
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(
             base, std::filesystem::directory_options::skip_permission_denied))
        paths.push_back(entry.path().string().substr(base.size() + 1) + (entry.is_directory() && !entry.is_symlink() ? "/" : ""));
    std::sort(paths.begin(), paths.end());
    std::string joined;
    for (const std::string& path : paths) joined += (joined.empty() ? "" : " ") + path;
    return joined;
}

Place::Place(const std::string& shape) : path(t::freshDirectory("place") + "/p") {
    t::makeDirectory(path);
    build(path, shape);
    fd = openDirectory(path);
    device = recordOf(fd.get(), ".").device;
}

Node recordOf(int parent, const std::string& name) {
    platform::FileStatus status;
    if (!platform::statAt(parent, name, status)) throw std::runtime_error("statx " + name);
    return Node{name, status.inode, status.device, status.type() == S_IFDIR, status.modified, status.changed,
                static_cast<std::int64_t>(status.blocks) * 512, {}};
}

void must(bool done) {
    if (!done) throw std::runtime_error(std::string("fixture change failed: ") + std::strerror(errno));
}

std::string outcome(const std::function<void()>& call) {
    try {
        call();
        return "no error";
    } catch (const SafetyError& error) {
        return error.reason();
    } catch (const CleanCancelled&) {
        return "cancelled";
    } catch (const std::exception& error) {
        return std::string("other: ") + error.what();
    }
}

} // namespace quillon::fstest
