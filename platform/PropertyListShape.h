// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <plist/plist.h>

#include <cstdint>
#include <string_view>

namespace quillon::platform {

// The reader (libplist 2.2) is kept from running out of stack, time or memory:
// an XML list is parsed on a large stack and measured after, a binary list is
// walked before the library sees it (the measurements: docs/ARCHITECTURE.md).

// The deepest nesting and the most values that a property list may have
// before it is refused as unreadable.
inline constexpr std::uint64_t maxPropertyListDepth = 256;
inline constexpr std::uint64_t maxPropertyListValues = std::uint64_t{1} << 20;

// What the reader builds from some bytes, as far as its cost goes.
struct PropertyListShape {
    // The height of the value tree (a lone top value has depth 1).
    std::uint64_t depth = 0;
    // The number of values, dictionary keys included (a shared binary object
    // counts at each use).
    std::uint64_t values = 0;
    // Whether the binary structure breaks a rule the reader also enforces
    // (a reference out of range, an object that contains itself): the reader
    // refuses such bytes.
    bool malformed = false;

    // Returns whether the reader may be given these bytes, or may keep the
    // tree it built from them.
    bool acceptable() const {
        return !malformed && depth <= maxPropertyListDepth && values <= maxPropertyListValues;
    }
};

// Returns the shape of binary ("bplist00") `bytes` as the reader would build
// them, without building anything: never less than what the reader builds,
// and measuring stops once a figure passes its limit, so a larger figure only
// means "too much". Runs in time linear in the size of `bytes`, without
// recursion.
PropertyListShape measureBinaryPropertyList(std::string_view bytes);

// Returns the exact shape of a tree the reader has built, walked without
// recursion.
PropertyListShape measurePropertyListTree(plist_t root);

} // namespace quillon::platform
