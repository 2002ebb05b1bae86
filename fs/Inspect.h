// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "core/RunControl.h"
#include "fs/Node.h"

#include <string>

namespace quillon {

// Inspects the entry `name` of the directory open on `parent` (and, for a
// directory, everything below it, depth first in sorted order) into a Node
// tree. All or nothing: the first item that fails a rule fails the whole
// inspection with that item's error. Nothing on disk is changed, and every
// descriptor opened here is closed before the call returns or throws; one
// descriptor per level of depth is open while a child is inspected.
//
// Rules, in this order, each refused with its reason (core/Texts.h): the
// item can be looked up (cannotInspectItem); it is the real user's, on
// `device`, and a directory or a regular file with exactly one link
// (ineligibleItem); the newest of its modification, status-change and
// creation seconds lies strictly before `cutoff` (recentlyChanged). A
// directory must open (cannotOpenItem) as the very item looked up
// (itemChangedDuringCheck) and list; errors of names() pass through unchanged.
// Throws CleanCancelled when `control` is cancelled.
Node inspect(int parent, const std::string& name, double cutoff, dev_t device, const RunControl* control = nullptr);

} // namespace quillon
