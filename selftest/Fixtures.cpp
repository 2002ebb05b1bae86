// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "selftest/Fixtures.h"

#include "platform/Descriptor.h"
#include "platform/FileIo.h"
#include "platform/Folders.h"
#include "platform/PlatformError.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>

namespace quillon::selftest {

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path, int error) {
    throw platform::PlatformError("Cannot " + what + " " + path + ": " + platform::errorText(error));
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

FixtureTree::FixtureTree(std::string path) : path_(std::move(path)) { platform::makeFolder(path_, false); }

FixtureTree::~FixtureTree() { static_cast<void>(platform::removeTree(path_)); }

} // namespace quillon::selftest
