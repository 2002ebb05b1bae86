#pragma once

#include <cstdint>
#include <string_view>

namespace quillon::platform {

// The property-list reader builds its tree recursively and copies a binary
// object each time it is referenced, so a small file can nest deep enough to
// exhaust the stack or reference its way into billions of values. These
// functions measure, without building anything, what the reader would build.

// The deepest nesting and the most values that a property list may have
// before it is refused as unreadable.
inline constexpr std::uint64_t maxPropertyListDepth = 256;
inline constexpr std::uint64_t maxPropertyListValues = std::uint64_t{1} << 20;

// What the reader would build from some bytes, as far as its cost goes.
struct PropertyListShape {
    // The height of the value tree (a lone top value has depth 1). Never
    // less than what the reader builds; measuring stops once it passes
    // maxPropertyListDepth, so a larger value only means "too deep".
    std::uint64_t depth = 0;
    // The number of values (keys included) the reader creates, a shared
    // binary object counted at each use. Never less than what the reader
    // builds; measuring stops once it passes maxPropertyListValues.
    std::uint64_t values = 0;
    // Whether the binary structure breaks a rule the reader also enforces
    // (a reference out of range, an object that contains itself): the reader
    // refuses such bytes.
    bool malformed = false;

    // Returns whether the reader may safely be given these bytes.
    bool acceptable() const {
        return !malformed && depth <= maxPropertyListDepth && values <= maxPropertyListValues;
    }
};

// Returns the shape of `bytes` as the reader would see them: binary when they
// begin with "bplist00", XML otherwise. Runs in time linear in the size of
// `bytes` and uses no recursion.
PropertyListShape measurePropertyList(std::string_view bytes);

// The two halves of measurePropertyList, one per encoding.
PropertyListShape measureBinaryPropertyList(std::string_view bytes);
PropertyListShape measureXmlPropertyList(std::string_view bytes);


} // namespace quillon::platform
