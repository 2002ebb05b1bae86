// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

// Three safety rules of this library, each in a file of its own so that a
// test-only fault variant can replace exactly one of them: the variant's own
// definition (FaultVariants.cpp, compiled with QUILLON_FAULT_<fault>) is
// linked into the variant executable ahead of the library, and the library's
// file with the same definition is then never taken from the archive. The
// shipped program links only the definitions below.

#include "core/RunControl.h"

#include <string>
#include <sys/types.h>

namespace quillon::seams {

// Returns whether a regular file with `links` names may be planned: only
// with exactly one, as another name would keep its data alive (and in use)
// after this one is removed. (Variant acceptHardLinks: always.)
bool fileLinksAllowed(nlink_t links);

// Runs first in the removal of a recorded directory, the entry `name` of the
// directory open on `parent`, before anything is compared. Does nothing.
// (Variant followLinks: follows a link found there and empties its target
// unchecked.)
void beforeDirectoryRemoval(int parent, const std::string& name);

// Returns the token a removal reads: `control` itself. (Variant
// ignoreCancel: none.)
const RunControl* removalControl(const RunControl* control);

} // namespace quillon::seams
