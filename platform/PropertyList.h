// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace quillon::platform {

// The largest property list the reader reads: 1 MiB.
inline constexpr std::size_t maxPropertyListBytes = std::size_t{1} << 20;

// A parsed property list (XML or binary encoding), read only.
class PropertyList {
public:
    // Parses `bytes` on a thread of its own, so that the caller's stack is
    // never at stake. Throws PlatformError, the reader's own error, when the
    // bytes are not a property list, are longer than maxPropertyListBytes, or
    // nest or expand past the limits of PropertyListShape.h; and
    // PlatformError("Cannot start the property-list reader") when that thread
    // cannot be started.
    static PropertyList parse(const std::string& bytes);

    ~PropertyList();
    PropertyList(PropertyList&&) noexcept;
    PropertyList& operator=(PropertyList&&) noexcept;

    // Returns whether the top level is a dictionary (whose keys are texts).
    bool isDictionary() const;
    // Returns the number of entries of a top-level dictionary, else 0.
    std::size_t dictionarySize() const;
    // Returns the text stored under `key` of a top-level dictionary; absent
    // when there is no such key or its value is not text.
    std::optional<std::string> textForKey(const std::string& key) const;
    // Returns whether a top-level dictionary has `key`, whatever its value.
    bool hasKey(const std::string& key) const;

private:
    struct Root;
    explicit PropertyList(std::unique_ptr<Root> root);
    std::unique_ptr<Root> root_;
};

// Returns the XML property list of a dictionary of texts.
std::string xmlPropertyList(const std::map<std::string, std::string>& dictionary);

} // namespace quillon::platform
