// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "catalog/RunLogFolder.h"

#include "platform/Paths.h"

namespace quillon {

std::string runLogFolder(bool create) {
    const std::string state = platform::userStateDirectory(create);
    return platform::joinPath(state, "quillon");
}

} // namespace quillon
