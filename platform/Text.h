// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace quillon::platform {

// Returns `bytes` as UTF-8 text, each ill-formed sequence (each maximal
// subpart) replaced by U+FFFD. Well-formed input comes back unchanged.
std::string decodeUtf8Lossy(std::string_view bytes);

// Returns whether `text` is well-formed UTF-8.
bool isValidUtf8(std::string_view text);

// Returns the canonical composition (NFC) of UTF-8 `text`.
std::string composeCanonical(const std::string& text);

// Returns the full Unicode lower-casing of UTF-8 `text` (root locale).
std::string lowercase(const std::string& text);

// Returns whether the two texts are ordered a < b by Unicode scalar values
// after canonical composition (for ASCII texts, plain byte order).
bool precedesInTextOrder(const std::string& a, const std::string& b);

// A regular expression in ICU syntax, compiled once and searched many times.
// Inline flags such as (?i) and non-capturing groups are honoured; no other
// options are set.
class Regex {
public:
    // Throws PlatformError when `pattern` is not a valid expression.
    explicit Regex(const std::string& pattern);
    ~Regex();
    Regex(Regex&&) noexcept;
    Regex& operator=(Regex&&) noexcept;
    Regex(const Regex&) = delete;
    Regex& operator=(const Regex&) = delete;

    // Returns whether the expression matches somewhere in `text`.
    bool search(const std::string& text) const;

private:
    struct Compiled;
    std::unique_ptr<Compiled> compiled_;
};

} // namespace quillon::platform
