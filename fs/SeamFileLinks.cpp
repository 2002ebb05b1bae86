// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "fs/Seams.h"

namespace quillon::seams {

bool fileLinksAllowed(nlink_t links) { return links == 1; }

} // namespace quillon::seams
