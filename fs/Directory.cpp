// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "fs/Directory.h"

#include "core/Errors.h"
#include "core/Texts.h"
#include "platform/DirectoryStream.h"
#include "platform/PlatformError.h"
#include "platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <memory>

namespace quillon {

bool isEntryName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

bool mayBeSubstitutedName(const std::string& name) { return name.find("\xEF\xBF\xBD") != std::string::npos; }

platform::Descriptor openDirectory(const std::string& path) {
    // A NUL would silently cut a component short.
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos)
        throw SafetyError::skip(text::invalidPath);
    platform::Descriptor current(::open("/", guardedOpenFlags));
    if (!current) throw SafetyError::skip(text::cannotOpenRoot);

    std::size_t start = 0;
    while (start < path.size()) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string::npos ? path.size() : slash;
        const std::string piece = path.substr(start, end - start);
        start = end + 1;
        if (piece.empty()) continue;
        if (piece == "." || piece == "..") throw SafetyError::skip(text::invalidPath);
        platform::Descriptor next(::openat(current.get(), piece.c_str(), guardedOpenFlags));
        const int error = errno;
        current.reset();
        if (!next)
            throw SafetyError::skip(text::cannotOpenComponent + piece + ": " + platform::errorText(error));
        current = std::move(next);
    }
    return current;
}

VerifiedDirectory openVerified(int parent, const std::string& name, const platform::FileStatus& looked) {
    VerifiedDirectory result;
    platform::Descriptor opened(::openat(parent, name.c_str(), guardedOpenFlags));
    if (!opened) return result;
    platform::FileStatus status;
    if (!platform::statDescriptor(opened.get(), status) || status.inode != looked.inode ||
        status.device != looked.device) {
        result.outcome = VerifiedOpen::changed;
        return result;
    }
    result.outcome = VerifiedOpen::opened;
    result.descriptor = std::move(opened);
    return result;
}

platform::Descriptor openVerifiedOrSkip(int parent, const std::string& name, const platform::FileStatus& looked,
                                        const char* cannotOpen, const char* changed) {
    VerifiedDirectory directory = openVerified(parent, name, looked);
    if (directory.outcome == VerifiedOpen::cannotOpen) throw SafetyError::skip(cannotOpen);
    if (directory.outcome == VerifiedOpen::changed) throw SafetyError::skip(changed);
    return std::move(directory.descriptor);
}

std::vector<std::string> names(int descriptor, const RunControl* control) {
    if (control) control->check();
    platform::Descriptor duplicate(::fcntl(descriptor, F_DUPFD_CLOEXEC, 0));
    if (!duplicate) throw SafetyError::skip(text::cannotReadDirectory);
    const platform::DirectoryStream stream = platform::adoptStream(duplicate);
    if (!stream) throw SafetyError::skip(text::cannotReadDirectory);
    // The duplicate shares the caller's read position; start from the top so
    // that the listing is always whole.
    ::rewinddir(stream.get());

    std::vector<std::string> result;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(stream.get());
        if (entry == nullptr) break;
        if (control) control->check();
        std::string name = platform::decodeUtf8Lossy(entry->d_name);
        if (name == "." || name == "..") continue;
        result.push_back(std::move(name));
    }
    if (errno != 0) throw SafetyError::skip(text::cannotReadDirectory);

    std::stable_sort(result.begin(), result.end(), platform::precedesInTextOrder);
    return result;
}

} // namespace quillon
