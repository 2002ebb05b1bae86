// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <array>
#include <string_view>

namespace quillon {

// The process-wide values. They are constants of the program: set before
// anything runs and never changed, so any thread may read them.

// One day in seconds; every age threshold is a whole multiple of it.
inline constexpr double day = 86400.0;
inline constexpr double week = 7 * day, month = 30 * day, quarter = 90 * day;

// The cache folders of a temporary build directory, in the order in which
// the catalogue lists them.
inline constexpr std::array<std::string_view, 7> temporaryBuildCaches = {
    "SDKStatCaches.noindex",    "SDKExplicitPrecompiledModules", "SymbolCache.noindex",
    "ModuleCache.noindex",      "CompilationCache.noindex",      "Index.noindex",
    "Build/Intermediates.noindex",
};

} // namespace quillon
