// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "fs/Seams.h"

namespace quillon::seams {

const RunControl* removalControl(const RunControl* control) { return control; }

} // namespace quillon::seams
