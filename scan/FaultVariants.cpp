// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// Test-only: the broken safety rule of this library, compiled with
// QUILLON_FAULT_ignoreFutureTimes and linked only into that variant's
// executables, never into the shipped program.

#include "scan/Seams.h"

#include <limits>

namespace quillon::seams {

#if defined(QUILLON_FAULT_ignoreFutureTimes)

// Times after now are taken as now, so a cutoff beyond now lets every item
// through.
double planningCutoff(double now, double age) {
    return now - age > now ? std::numeric_limits<double>::infinity() : now - age;
}

#else
#error "FaultVariants.cpp is compiled only for one of this library's fault variants"
#endif

} // namespace quillon::seams
