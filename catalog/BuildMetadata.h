// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <string>

namespace quillon {

// Returns normally when `bytes`, the whole content of a temporary build
// directory's metadata file, are a property list whose top level is a
// non-empty dictionary with a text "WorkspacePath" that begins with "/" and
// whose path extension is exactly "xcodeproj" or "xcworkspace". The path
// itself is never looked at on disk.
// Throws platform::PlatformError, the property-list reader's own error, when
// the bytes cannot be read as a property list (including one nested too
// deeply or expanding to too many values to be read safely), and
// SafetyError(text::missingWorkspace) when the list has no
// usable workspace path.
void checkBuildMetadata(const std::string& bytes);

} // namespace quillon
