// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// Feeds arbitrary bytes to the check of a temporary build directory's
// metadata, as if they were the content of its "info.plist". The check must
// refuse or accept every input without crashing, hanging or leaking, and
// refuse only with one of its two fixed reasons.
//
// It also holds the binary shape measure to its promise: whenever the measure
// lets bytes through to the library, the tree the library builds is no deeper
// and no larger than measured; and bytes the measure calls malformed are
// refused by the library.

#include "catalog/BuildMetadata.h"
#include "core/Errors.h"
#include "core/Texts.h"
#include "platform/PlatformError.h"
#include "platform/PropertyListShape.h"

#include <plist/plist.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using quillon::platform::PropertyListShape;

[[noreturn]] void fail(const char* what, std::uint64_t measured, std::uint64_t actual) {
    std::fprintf(stderr, "%s: measured %llu, library built %llu\n", what, static_cast<unsigned long long>(measured),
                 static_cast<unsigned long long>(actual));
    std::abort();
}

void checkBinaryMeasureAgainstLibrary(const std::string& bytes) {
    const auto length = static_cast<std::uint32_t>(bytes.size());
    if (!plist_is_binary(bytes.data(), length)) return;
    const PropertyListShape shape = quillon::platform::measureBinaryPropertyList(bytes);
    // Never hand the library what the measure finds too deep or too large.
    if (shape.depth > quillon::platform::maxPropertyListDepth || shape.values > quillon::platform::maxPropertyListValues)
        return;
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), length, &root);
    if (root == nullptr) return;
    const PropertyListShape actual = quillon::platform::measurePropertyListTree(root);
    plist_free(root);
    if (shape.malformed) fail("library accepted bytes measured as malformed", 0, 1);
    if (actual.depth > shape.depth) fail("depth", shape.depth, actual.depth);
    if (actual.values > shape.values) fail("values", shape.values, actual.values);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    checkBinaryMeasureAgainstLibrary(bytes);
    try {
        quillon::checkBuildMetadata(bytes);
    } catch (const quillon::SafetyError& error) {
        if (error.reason() != quillon::text::missingWorkspace) std::abort();
    } catch (const quillon::platform::PlatformError& error) {
        if (std::strcmp(error.what(), "The data couldn\u2019t be read because it isn\u2019t in the correct format.") != 0)
            std::abort();
    }
    return 0;
}
