// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "selftest/Fixtures.h"

#include "core/StartupValues.h"
#include "platform/FileIo.h"
#include "platform/PlatformError.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::selftest {

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path, int error) {
    throw platform::PlatformError("Cannot " + what + " " + path + ": " + platform::errorText(error));
}

void writeAll(int fd, const std::string& contents, const std::string& path) {
    if (const int error = platform::writeAll(fd, contents)) fail("write", path, error);
}

} // namespace

std::string randomUuid() {
    unsigned char bytes[16];
    platform::Descriptor source(::open("/dev/urandom", O_RDONLY | O_CLOEXEC));
    if (!source) fail("open", "/dev/urandom", errno);
    std::string random;
    if (const int error = platform::readAtMost(source.get(), sizeof bytes, random)) fail("read", "/dev/urandom", error);
    if (random.size() != sizeof bytes) fail("read", "/dev/urandom", EIO);
    std::copy(random.begin(), random.end(), bytes);
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant

    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < sizeof bytes; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

FixtureTree::FixtureTree(std::string path) : path_(std::move(path)) { fm.createDirectory(path_, false); }

FixtureTree::~FixtureTree() { static_cast<void>(fm.removeTree(path_)); }

void writeFile(const std::string& path, const std::string& contents) {
    platform::Descriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!file) fail("write", path, errno);
    writeAll(file.get(), contents, path);
}

void overwriteInPlace(const std::string& path, const std::string& contents) {
    platform::Descriptor file(::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC));
    if (!file) fail("overwrite", path, errno);
    writeAll(file.get(), contents, path);
}

std::string readFile(const std::string& path) {
    platform::Descriptor file = openForReading(path);
    std::string contents;
    if (const int error = platform::readAtMost(file.get(), std::numeric_limits<std::size_t>::max(), contents))
        fail("read", path, error);
    return contents;
}

platform::Descriptor openForReading(const std::string& path) {
    platform::Descriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!file) fail("open", path, errno);
    return file;
}

void makeSymbolicLink(const std::string& target, const std::string& path) {
    if (::symlinkat(target.c_str(), AT_FDCWD, path.c_str()) != 0) fail("create link", path, errno);
}

void makeHardLink(const std::string& existing, const std::string& path) {
    if (::linkat(AT_FDCWD, existing.c_str(), AT_FDCWD, path.c_str(), 0) != 0) fail("create hard link", path, errno);
}

void removeFile(const std::string& path) {
    if (::unlinkat(AT_FDCWD, path.c_str(), 0) != 0) fail("remove", path, errno);
}

void removeEmptyDirectory(const std::string& path) {
    if (::unlinkat(AT_FDCWD, path.c_str(), AT_REMOVEDIR) != 0) fail("remove folder", path, errno);
}

void setModificationTime(const std::string& path, double seconds) {
    const double whole = std::floor(seconds);
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(whole);
    times[1].tv_nsec = std::min(static_cast<long>((seconds - whole) * 1e9), 999999999L);
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) fail("set the date of", path, errno);
}

bool exists(const std::string& path) { return fm.fileExists(path); }

bool absent(const std::string& path) {
    struct stat status {};
    return ::fstatat(AT_FDCWD, path.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 &&
           (errno == ENOENT || errno == ENOTDIR);
}

} // namespace quillon::selftest
