// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "catalog/TemporaryBuild.h"

#include "catalog/BuildMetadata.h"
#include "core/Errors.h"
#include "core/StartupValues.h"
#include "core/Texts.h"
#include "fs/Directory.h"
#include "platform/FileIo.h"
#include "platform/FileStatus.h"
#include "platform/Paths.h"
#include "platform/PlatformError.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <fcntl.h>
#include <set>
#include <unistd.h>

namespace quillon {

namespace {

constexpr std::uint64_t metadataSizeLimit = 1048576; // 1 MiB

// The names a build directory may hold at its top level: its own cache
// folders (those that are a single name) and the rest of the derived-data
// layout.
std::set<std::string> allowedBuildEntries() {
    std::set<std::string> allowed;
    for (std::string_view cache : temporaryBuildCaches)
        if (cache.find('/') == std::string_view::npos) allowed.emplace(cache);
    for (const char* name : {buildMetadataName, "Build", "Logs", "SourcePackages", "SymbolCache", "TextIndex"})
        allowed.emplace(name);
    return allowed;
}

} // namespace

void validateTemporaryBuildRoot(const std::string& path) {
    const platform::Descriptor directory = openDirectory(path);
    platform::FileStatus directoryStatus;
    if (!platform::statDescriptor(directory.get(), directoryStatus) || directoryStatus.owner != ::getuid())
        throw SafetyError::skip(text::buildNotOwned);

    const std::set<std::string> allowed = allowedBuildEntries();
    const std::vector<std::string> entries = names(directory.get());
    if (std::find(entries.begin(), entries.end(), buildMetadataName) == entries.end())
        throw SafetyError::skip(text::unrecognizedBuildContents);
    for (const std::string& entry : entries)
        if (allowed.count(entry) == 0) throw SafetyError::skip(text::unrecognizedBuildContents);

    // A device or FIFO is refused before it is opened: opening a device can
    // have effects of its own. A link is left to the open, which refuses it.
    platform::FileStatus found;
    if (platform::statAt(directory.get(), buildMetadataName, found) && found.type() != S_IFREG &&
        found.type() != S_IFLNK)
        throw SafetyError::skip(text::buildMetadataNotPrivate);

    // O_NOFOLLOW makes a link fail here; O_NONBLOCK keeps the open of
    // anything swapped in since the look-up from waiting, and the status
    // taken from the open descriptor is what decides.
    const platform::Descriptor metadata(
        ::openat(directory.get(), buildMetadataName, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!metadata) throw SafetyError::skip(text::cannotReadBuildMetadata);

    platform::FileStatus status;
    const bool privateRegular = platform::statDescriptor(metadata.get(), status) && status.owner == ::getuid() &&
                                status.device == directoryStatus.device && status.type() == S_IFREG &&
                                status.links == 1 &&
                                // an empty file wraps around to the largest value and fails too
                                static_cast<std::uint64_t>(status.size - 1) < metadataSizeLimit;
    if (!privateRegular) throw SafetyError::skip(text::buildMetadataNotPrivate);

    // A file that grows after it was measured is never read past what was
    // measured; one that shrank is read as it now is.
    std::string bytes;
    if (const int error = platform::readAtMost(metadata.get(), static_cast<std::size_t>(status.size), bytes))
        throw platform::PlatformError(platform::errorText(error));
    checkBuildMetadata(bytes);
}

std::vector<Candidate> temporaryBuildCandidates(const std::string& root) {
    std::vector<Candidate> rows;
    if (root.empty()) return rows;
    std::vector<std::string> entries;
    try {
        const platform::Descriptor directory = openDirectory(root);
        entries = names(directory.get());
    } catch (const std::exception&) {
        return rows;
    }
    for (const std::string& entry : entries) {
        const std::string buildRoot = platform::joinPath(root, entry);
        try {
            validateTemporaryBuildRoot(buildRoot);
        } catch (const std::exception&) {
            continue; // not a build directory of this user, or not a safe one
        }
        for (std::string_view cache : temporaryBuildCaches)
            rows.emplace_back(buildRoot + "/" + std::string(cache), 7.0 * day, Group::development,
                              ScanMode::oldChildren, std::nullopt, buildRoot);
    }
    return rows;
}

} // namespace quillon
