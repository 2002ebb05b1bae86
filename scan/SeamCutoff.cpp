// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "scan/Seams.h"

namespace quillon::seams {

double planningCutoff(double now, double age) { return now - age; }

} // namespace quillon::seams
