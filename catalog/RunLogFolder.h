// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <string>

namespace quillon {

// Returns the folder of the program's own run log, inside the user's private
// state directory (made first, each missing folder 0700, when `create`), or
// the empty text when there is no such directory. The catalogue keeps every
// location out of it; the run log writes there.
std::string runLogFolder(bool create = false);

} // namespace quillon
