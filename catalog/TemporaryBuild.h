// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "catalog/Candidate.h"

#include <string>
#include <vector>

namespace quillon {

// The metadata file at the top of a temporary build directory.
inline constexpr const char* buildMetadataName = "info.plist";

// Returns the rows of every valid temporary build directory directly inside
// `root` (names in sorted order), seven per directory, one per entry of
// temporaryBuildCaches: age 7 days, group development, mode oldChildren,
// temporaryBuildRoot set. Never fails: an empty or unopenable root gives no
// rows, and a directory that fails validation is passed over.
std::vector<Candidate> temporaryBuildCandidates(const std::string& root);

// Returns normally when `path` is a temporary build directory that may be
// cleaned: owned by the user, holding only known build entries and a
// private, well-formed "info.plist" that names an .xcodeproj or .xcworkspace
// by absolute path. Throws SafetyError with the reason (core/Texts.h)
// buildNotOwned, unrecognizedBuildContents, cannotReadBuildMetadata,
// buildMetadataNotPrivate or missingWorkspace, or passes on the errors of
// openDirectory and names, of reading the metadata and of the property-list
// reader unchanged (metadata nested too deeply to read safely counts as
// unreadable to the reader).
// Reads at most 1 MiB, never blocks on a FIFO and leaves nothing open.
void validateTemporaryBuildRoot(const std::string& path);

} // namespace quillon
