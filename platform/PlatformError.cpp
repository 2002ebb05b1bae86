// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "platform/PlatformError.h"

#include <cstring>

namespace quillon::platform {

std::string errorText(int errorNumber) { return std::strerror(errorNumber); }

} // namespace quillon::platform
