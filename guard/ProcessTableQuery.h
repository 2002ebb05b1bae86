// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "core/Errors.h"
#include "core/RunControl.h"
#include "platform/ProcessTable.h"

namespace quillon {

// Returns what `read` gives from the process table, read between two looks
// at `control`: a run cancelled before does not start the reading, and one
// cancelled while it ran does not use its answer (CleanCancelled). A table
// that could not be read completely becomes SafetyError::skip(`reason`), so
// that no partial answer is ever used.
template <class Read>
auto readProcessTable(const RunControl* control, const char* reason, Read read) -> decltype(read()) {
    if (control != nullptr) control->check();
    decltype(read()) answer;
    try {
        answer = read();
    } catch (const platform::ProcessTableError&) {
        throw SafetyError::skip(reason);
    }
    if (control != nullptr) control->check();
    return answer;
}

} // namespace quillon
