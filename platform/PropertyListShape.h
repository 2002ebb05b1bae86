// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <plist/plist.h>

#include <cstdint>
#include <string_view>

namespace quillon::platform {

// How the property-list reader (libplist 2.2) is kept from running out of
// stack, time or memory on a list of at most maxPropertyListBytes. Figures
// were measured on one machine, release build.
//
// XML is parsed first and measured after. The library's XML parser keeps its
// own stack of open elements, and an XML list cannot share a value, so the
// only danger is the recursion that frees a deep tree: 48 bytes of stack a
// level, and "<array>" is 7 bytes, so 7 MiB at the size limit. The reader
// therefore parses on a thread with a stack far above that, and a tree past
// the limits below is refused there, after the fact (measurePropertyListTree).
// The dearest such refusal, 1 MiB of nested arrays, costs 25 to 36 ms and 20
// to 36 MB: what an accepted list of that size costs (a 1 MiB array: 33 to
// 42 ms).
//
// A binary list is measured before the library sees it, by walking its object
// graph the way the library does (measureBinaryPropertyList). The library
// parses a shared object again at each use, compares each object with all its
// ancestors (time quadratic in the depth) and recurses, so the cost of a parse
// is not bounded by the size of the bytes. With the library in a child process
// limited to 4 GiB of address space and 20 s of CPU:
//   - 64 arrays in a chain, each referring twice to the next (864 bytes, 2^64
//     values): 22 s and 4 GiB, then the library gives up; 40 such arrays (552
//     bytes): the same, then it crashes; 30 arrays each referring 15 times to
//     the next (2 KiB): 30 s and 4 GiB;
//   - a chain of 149,000 arrays (1 MiB): 8 to 9.5 s of comparisons, then the
//     stack overflows (8 MiB); on a stack large enough, 20 s to parse (the
//     time grows with the square of the depth: 1.1 s at 40,000).
// The walk refuses each of these in 0.01 ms, the 1 MiB chain in 0.9 ms.
// Measuring the library's own parse instead was tried and given up: a thread
// cannot be stopped, so the parse would have to run in a child process under
// CPU and memory limits, and these must lie above the dearest list the limits
// accept (2^20 values at depth 256: 0.5 to 0.7 s and 127 MB). With limits of
// 2 s and 512 MiB each hostile list above cost 0.9 to 2 s of CPU and 230 to
// 520 MB (the 1 MiB chain 3.5 s of wall-clock time on a busy machine) where
// the walk costs microseconds; whether a list is read would depend on the
// speed of the machine; and every read would fork the whole program (6 ms per
// 100 MB resident), threads and descriptors included.

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
