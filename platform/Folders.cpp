// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "platform/Folders.h"

#include "platform/Descriptor.h"
#include "platform/DirectoryStream.h"
#include "platform/FileIo.h"
#include "platform/PlatformError.h"
#include "platform/Text.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::platform {

std::vector<std::string> listFolder(const std::string& path) {
    std::vector<std::string> result;
    if (path.empty()) return result;
    const DirectoryStream dir(opendir(path.c_str()));
    if (!dir) return result;
    errno = 0;
    while (dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") result.push_back(decodeUtf8Lossy(name));
        errno = 0;
    }
    if (errno != 0) result.clear();
    return result;
}

bool pathExists(const std::string& path) {
    if (path.empty()) return false;
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

void makeFolder(const std::string& path, bool intermediates, unsigned mode) {
    if (path.empty()) throw PlatformError("Cannot create folder: empty path");
    if (intermediates) {
        for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
            const std::string prefix = path.substr(0, slash);
            if (mkdir(prefix.c_str(), mode) != 0 && errno != EEXIST)
                throw PlatformError("Cannot create folder " + prefix + ": " + errorText(errno));
        }
    }
    if (mkdir(path.c_str(), mode) != 0) {
        const int error = errno;
        struct stat status {};
        if (!(intermediates && error == EEXIST && stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)))
            throw PlatformError("Cannot create folder " + path + ": " + errorText(error));
    }
}

void writeFileAtomically(const std::string& path, const std::string& contents) {
    std::string temporary = path + ".XXXXXX";
    Descriptor file(mkostemp(temporary.data(), O_CLOEXEC));
    if (!file) throw PlatformError("Cannot write " + path + ": " + errorText(errno));
    if (const int error = writeAll(file.get(), contents)) {
        file.reset();
        unlink(temporary.c_str());
        throw PlatformError("Cannot write " + path + ": " + errorText(error));
    }
    // Same permissions as a file created the ordinary way.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(file.get(), 0666 & ~mask);
    file.reset();
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        throw PlatformError("Cannot write " + path + ": " + errorText(error));
    }
}

namespace {

bool removeBelow(int parent, const char* name) {
    struct stat status {};
    if (fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
    if (S_ISDIR(status.st_mode)) {
        Descriptor directory(openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!directory) return false;
        DirectoryStream stream = adoptStream(directory);
        if (!stream) return false;
        bool ok = true;
        std::vector<std::string> entries;
        while (dirent* entry = readdir(stream.get())) {
            const std::string child = entry->d_name;
            if (child != "." && child != "..") entries.push_back(child);
        }
        for (const std::string& child : entries) ok = removeBelow(dirfd(stream.get()), child.c_str()) && ok;
        stream.reset();
        return unlinkat(parent, name, AT_REMOVEDIR) == 0 && ok;
    }
    return unlinkat(parent, name, 0) == 0;
}

} // namespace

bool removeTree(const std::string& path) {
    if (path.empty() || path == "/") return false;
    const std::string parent = path.substr(0, path.find_last_of('/') + 1);
    const std::string name = path.substr(path.find_last_of('/') + 1);
    const Descriptor directory(open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!directory) return false;
    return removeBelow(directory.get(), name.c_str());
}

} // namespace quillon::platform
