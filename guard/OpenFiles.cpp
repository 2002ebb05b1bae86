// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "guard/OpenFiles.h"

#include "core/Texts.h"
#include "guard/ProcessTableQuery.h"

namespace quillon {

std::vector<std::string> openPaths(const RunControl* control) {
    return readProcessTable(control, text::cannotVerifyOpenFiles,
                            [] { return platform::openFilePaths(platform::processTableRoot); });
}

} // namespace quillon
