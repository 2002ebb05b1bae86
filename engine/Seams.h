// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

// The safety rule of this library that a test-only fault variant replaces,
// in a file of its own (see fs/Seams.h for how a variant takes its place).
// The shipped program links only the definition below.

#include "core/RunControl.h"

namespace quillon::seams {

// Returns whether a run is cancelled before it starts: whether `control`
// exists and is cancelled. (Variant noStartCheck: never, so the token is
// first read between locations.)
bool cancelledBeforeStart(const RunControl* control);

} // namespace quillon::seams
