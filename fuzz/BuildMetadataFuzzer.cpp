// Feeds arbitrary bytes to the check of a temporary build directory's
// metadata, as if they were the content of its "info.plist". The check must
// refuse or accept every input without crashing, hanging or leaking.
//
// It also holds the shape measure to its promise: whenever the measure lets
// bytes through to the property-list reader, the tree the reader builds is no
// deeper and no larger than measured; and bytes the measure calls malformed
// are refused by the reader.

#include "catalog/BuildMetadata.h"
#include "platform/PropertyListShape.h"
#include "core/Errors.h"
#include "platform/PlatformError.h"

#include <plist/plist.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

struct TreeSize {
    std::uint64_t depth = 0;
    std::uint64_t values = 0;
};

// Walks a parsed tree without recursion; dictionary keys count as values,
// as the reader creates a node for each.
TreeSize measureTree(plist_t root) {
    TreeSize size;
    std::vector<std::pair<plist_t, std::uint64_t>> pending{{root, 1}};
    while (!pending.empty()) {
        auto [node, depth] = pending.back();
        pending.pop_back();
        ++size.values;
        if (depth > size.depth) size.depth = depth;
        if (plist_get_node_type(node) == PLIST_ARRAY) {
            const std::uint32_t count = plist_array_get_size(node);
            for (std::uint32_t i = 0; i < count; ++i) pending.emplace_back(plist_array_get_item(node, i), depth + 1);
        } else if (plist_get_node_type(node) == PLIST_DICT) {
            plist_dict_iter iterator = nullptr;
            plist_dict_new_iter(node, &iterator);
            for (;;) {
                // No key text is asked for: the reader asserts on a key whose
                // length disagrees with its C string (an embedded zero).
                plist_t value = nullptr;
                plist_dict_next_item(node, iterator, nullptr, &value);
                if (value == nullptr) break;
                ++size.values;
                pending.emplace_back(value, depth + 1);
            }
            std::free(iterator);
        }
    }
    return size;
}

[[noreturn]] void fail(const char* what, std::uint64_t measured, std::uint64_t actual) {
    std::fprintf(stderr, "%s: measured %llu, reader built %llu\n", what, static_cast<unsigned long long>(measured),
                 static_cast<unsigned long long>(actual));
    std::abort();
}

void checkMeasureAgainstReader(const std::string& bytes) {
    const quillon::platform::PropertyListShape shape = quillon::platform::measurePropertyList(bytes);
    const bool bounded = shape.depth <= quillon::platform::maxPropertyListDepth && shape.values <= quillon::platform::maxPropertyListValues;
    if (!bounded || bytes.size() < 8) return; // never hand the reader what the measure refuses
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    if (root == nullptr) return;
    const TreeSize actual = measureTree(root);
    plist_free(root);
    if (shape.malformed) fail("reader accepted bytes measured as malformed", 0, 1);
    if (actual.depth > shape.depth) fail("depth", shape.depth, actual.depth);
    if (actual.values > shape.values) fail("values", shape.values, actual.values);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    checkMeasureAgainstReader(bytes);
    try {
        quillon::checkBuildMetadata(bytes);
    } catch (const quillon::SafetyError& error) {
        if (error.reason() != "Missing Xcode workspace metadata; kept") std::abort();
    } catch (const quillon::platform::PlatformError&) {
        // the reader's own refusal
    }
    return 0;
}
