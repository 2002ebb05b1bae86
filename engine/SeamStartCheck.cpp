// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "engine/Seams.h"

namespace quillon::seams {

bool cancelledBeforeStart(const RunControl* control) { return control && control->isCancelled(); }

} // namespace quillon::seams
