// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "core/RunControl.h"

#include "core/Errors.h"

namespace quillon {

bool RunControl::isCancelled() const {
    std::lock_guard<std::mutex> guard(lock_);
    return cancelled_;
}

void RunControl::cancel() {
    std::lock_guard<std::mutex> guard(lock_);
    cancelled_ = true;
}

void RunControl::check() const {
    if (isCancelled()) throw CleanCancelled();
}

} // namespace quillon
