// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "platform/Paths.h"

#include "platform/Descriptor.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quillon::platform {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool absolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

std::string stripTrailingSlashes(const std::string& path) {
    std::string result = path;
    while (result.size() > 1 && result.back() == '/') result.pop_back();
    return result;
}

std::string accountHome() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE)
        buffer.resize(buffer.size() * 2);
    if (found == nullptr || found->pw_dir == nullptr) return {};
    return found->pw_dir;
}

// The fallback temporary directory lives in the shared /tmp, so it is trusted
// only when it is exactly what we would have made: a real directory, ours, 0700.
std::string fallbackTemp() {
    const std::string path = "/tmp/quillon-" + std::to_string(getuid());
    if (mkdir(path.c_str(), 0700) == 0) {
        // We made it; make sure a restrictive umask did not leave it unusable.
        const Descriptor directory(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (directory) fchmod(directory.get(), 0700);
    }
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) return {};
    if (!S_ISDIR(status.st_mode) || status.st_uid != getuid() || (status.st_mode & 07777) != 0700)
        return {};
    return realPath(path);
}

// Returns the real path of `path` when it is absolute and names a directory.
std::string existingDirectory(const std::string& path) {
    if (!absolute(path)) return {};
    const std::string real = realPath(path);
    struct stat status {};
    if (real.empty() || stat(real.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return {};
    return real;
}

// Makes every missing folder of the absolute `path`, each 0700 (a per-user
// base directory is nobody else's business). Failures show up later, when
// the folder is checked.
void makePrivateFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = slash == std::string::npos ? path : path.substr(0, slash);
        if (mkdir(prefix.c_str(), 0700) == 0) chmod(prefix.c_str(), 0700); // whatever the umask
        if (slash == std::string::npos) break;
    }
}

// The choices for a per-user base directory, in order: the variable's value
// when it is absolute, then the home directory + `underHome`.
std::vector<std::string> baseChoices(const char* variable, const char* underHome) {
    std::vector<std::string> choices;
    const std::string value = environment(variable);
    if (absolute(value)) choices.push_back(value);
    const std::string home = homeDirectory();
    if (absolute(home)) choices.push_back(joinPath(home, underHome));
    return choices;
}

// The variables of the per-user base directories and their folders below the home.
constexpr std::pair<const char*, const char*> baseDirectories[] = {
    {"XDG_CACHE_HOME", ".cache"}, {"XDG_CONFIG_HOME", ".config"}, {"XDG_STATE_HOME", ".local/state"}};

// A per-user base directory: the first of its choices that is a private
// directory of the real user, as its canonical path.
std::string userBaseDirectory(const std::pair<const char*, const char*>& base, bool create) {
    for (const std::string& choice : baseChoices(base.first, base.second)) {
        if (create) makePrivateFolders(stripTrailingSlashes(choice));
        std::string resolved;
        if (isPrivateDirectory(choice, resolved)) return resolved;
    }
    return {};
}

} // namespace

std::string realPath(const std::string& path) {
    if (path.empty()) return {};
    std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

bool isPrivateDirectory(const std::string& path, std::string& resolved) {
    if (!absolute(path)) return false;
    std::string real = realPath(path);
    if (real.empty()) return false;
    struct stat status {};
    if (lstat(real.c_str(), &status) != 0) return false;
    if (!S_ISDIR(status.st_mode) || status.st_uid != getuid()) return false;
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) return false;
    resolved = real;
    return true;
}

std::string homeDirectory() {
    // A home that was named but cannot be used is no home: another folder
    // in its place would be cleaned without anyone having pointed at it.
    if (const char* home = std::getenv("HOME")) return existingDirectory(home);
    return existingDirectory(accountHome());
}

std::string userTempDirectory() {
    for (const char* name : {"TMPDIR", "XDG_RUNTIME_DIR"}) {
        std::string resolved;
        if (isPrivateDirectory(environment(name), resolved)) return resolved;
    }
    return fallbackTemp();
}

std::string userCacheDirectory() { return userBaseDirectory(baseDirectories[0], false); }

std::string userConfigDirectory() { return userBaseDirectory(baseDirectories[1], false); }

std::string userStateDirectory(bool create) { return userBaseDirectory(baseDirectories[2], create); }

std::vector<std::string> refusedBaseDirectories() {
    // Every choice counts, not only those tried before the one taken: a
    // folder that others may write is no safer for not being a base.
    std::vector<std::string> refused;
    for (const auto& base : baseDirectories)
        for (const std::string& choice : baseChoices(base.first, base.second)) {
            const std::string real = realPath(choice);
            std::string resolved;
            if (!real.empty() && !isPrivateDirectory(real, resolved)) refused.push_back(real);
        }
    return refused;
}

std::string sharedTempDirectory() { return "/tmp"; }

bool within(const std::string& inner, const std::string& outer) {
    std::size_t length = outer.size();
    while (length > 1 && outer[length - 1] == '/') --length;
    if (inner.compare(0, length, outer, 0, length) != 0) return false;
    // "/" ends in the slash that would otherwise have to follow it.
    return inner.size() == length || inner[length] == '/' || (length > 0 && outer[length - 1] == '/');
}

std::string joinPath(const std::string& folder, std::string_view name) {
    if (folder.empty()) return {};
    std::string joined = stripTrailingSlashes(folder);
    if (joined.back() != '/') joined += '/';
    const std::size_t start = std::min(name.find_first_not_of('/'), name.size());
    joined.append(name.substr(start));
    return joined;
}

std::string baseName(const std::string& path) {
    if (path.empty()) return {};
    const std::string trimmed = stripTrailingSlashes(path);
    if (trimmed == "/") return "/";
    const auto slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

std::string parentFolder(const std::string& path) {
    const std::string trimmed = stripTrailingSlashes(path);
    if (trimmed == "/") return "/";
    const auto slash = trimmed.rfind('/');
    if (slash == std::string::npos) return {};
    std::string parent = stripTrailingSlashes(trimmed.substr(0, slash));
    return parent.empty() ? "/" : parent;
}

std::string extensionOf(const std::string& path) {
    const std::string last = baseName(path);
    const auto dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0 || last == "/") return {};
    return last.substr(dot + 1);
}

} // namespace quillon::platform
