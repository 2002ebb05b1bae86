// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// Test-only: the broken safety rule of this library, compiled with
// QUILLON_FAULT_noStartCheck and linked only into that variant's
// executables, never into the shipped program.

#include "engine/Seams.h"

namespace quillon::seams {

#if defined(QUILLON_FAULT_noStartCheck)

// The token is not read before the run starts.
bool cancelledBeforeStart(const RunControl*) { return false; }

#else
#error "FaultVariants.cpp is compiled only for one of this library's fault variants"
#endif

} // namespace quillon::seams
