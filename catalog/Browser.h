// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "catalog/Candidate.h"

#include <array>
#include <string_view>
#include <vector>

namespace quillon {

// The cache folders of a Chromium profile or storage partition, in order.
inline constexpr std::array<std::string_view, 9> chromiumCacheNames = {
    "Cache",          "Code Cache",        "GPUCache",      "DawnCache",  "DawnGraphiteCache",
    "DawnWebGPUCache", "GraphiteDawnCache", "GrShaderCache", "ShaderCache",
};

// Appends to `rows` the cache rows of one Chromium data root: the root's own
// cache folders, those of each profile ("Default", "Profile <digits>", and
// for the Atlas group "user-..."), of each entry of "Partitions" and of
// each entry of "Default/Partitions". Every row has age 0, mode whole and
// `group`. Never fails: a listing that cannot be read adds nothing.
void browser(std::vector<Candidate>& rows, const std::string& root, Group group);

} // namespace quillon
