// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "core/RunControl.h"

#include "core/Errors.h"

namespace quillon {

bool RunControl::isCancelled() const { return cancelled_.load(); }

void RunControl::cancel() { cancelled_.store(true); }

void RunControl::check() const {
    if (isCancelled()) throw CleanCancelled();
}

} // namespace quillon
