// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "catalog/BuildMetadata.h"

#include "core/Errors.h"
#include "core/Texts.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"

namespace quillon {

void checkBuildMetadata(const std::string& bytes) {
    const platform::PropertyList metadata = platform::PropertyList::parse(bytes);

    const auto workspace = metadata.textForKey("WorkspacePath");
    const bool usable = metadata.isDictionary() && metadata.dictionarySize() > 0 && workspace.has_value() &&
                        !workspace->empty() && workspace->front() == '/';
    if (!usable) throw SafetyError::skip(text::missingWorkspace);
    const std::string extension = platform::extensionOf(*workspace);
    if (extension != "xcodeproj" && extension != "xcworkspace")
        throw SafetyError::skip(text::missingWorkspace);
}

} // namespace quillon
