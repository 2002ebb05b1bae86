// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "platform/Text.h"

#include "platform/PlatformError.h"

#include <unicode/normalizer2.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/locid.h>

#include <algorithm>

namespace quillon::platform {

namespace {

// Length of the well-formed sequence starting at `i`, or 0 with `subpart` set
// to the length of the maximal ill-formed subpart (at least 1).
std::size_t wellFormedLength(std::string_view s, std::size_t i, std::size_t& subpart) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    subpart = 1;
    if (lead < 0x80) return 1;
    std::size_t need = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) need = 1;
    else if (lead == 0xE0) { need = 2; low = 0xA0; }
    else if (lead >= 0xE1 && lead <= 0xEC) need = 2;
    else if (lead == 0xED) { need = 2; high = 0x9F; }
    else if (lead >= 0xEE && lead <= 0xEF) need = 2;
    else if (lead == 0xF0) { need = 3; low = 0x90; }
    else if (lead >= 0xF1 && lead <= 0xF3) need = 3;
    else if (lead == 0xF4) { need = 3; high = 0x8F; }
    else return 0;
    for (std::size_t k = 1; k <= need; ++k) {
        if (i + k >= s.size()) return 0;
        const unsigned char c = byte(i + k);
        const unsigned char lo = k == 1 ? low : 0x80;
        const unsigned char hi = k == 1 ? high : 0xBF;
        if (c < lo || c > hi) return 0;
        subpart = k + 1;
    }
    return need + 1;
}

icu::UnicodeString fromUtf8(const std::string& text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string toUtf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

bool isAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace

bool isValidUtf8(std::string_view text) {
    std::size_t subpart = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = wellFormedLength(text, i, subpart);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string decodeUtf8Lossy(std::string_view bytes) {
    if (isValidUtf8(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + 8);
    std::size_t subpart = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t n = wellFormedLength(bytes, i, subpart);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            i += subpart;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::string composeCanonical(const std::string& text) {
    if (isAscii(text)) return text;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return text;
    icu::UnicodeString composed = nfc->normalize(fromUtf8(text), status);
    if (U_FAILURE(status)) return text;
    return toUtf8(composed);
}

bool precedesInTextOrder(const std::string& a, const std::string& b) {
    if (isAscii(a) && isAscii(b)) return a < b;
    // UTF-8 byte order is the order of Unicode scalar values.
    return composeCanonical(a) < composeCanonical(b);
}

std::string lowercase(const std::string& text) {
    if (isAscii(text)) {
        std::string out = text;
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return out;
    }
    icu::UnicodeString u = fromUtf8(text);
    u.toLower(icu::Locale::getRoot());
    return toUtf8(u);
}

struct Regex::Compiled {
    std::unique_ptr<icu::RegexPattern> pattern;
};

Regex::Regex(const std::string& pattern) : compiled_(std::make_unique<Compiled>()) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    compiled_->pattern.reset(icu::RegexPattern::compile(fromUtf8(pattern), 0, parseError, status));
    if (U_FAILURE(status) || !compiled_->pattern)
        throw PlatformError("Invalid regular expression \"" + pattern + "\": " + u_errorName(status));
}

Regex::~Regex() = default;
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;

bool Regex::search(const std::string& text) const {
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString subject = fromUtf8(text);
    std::unique_ptr<icu::RegexMatcher> matcher(compiled_->pattern->matcher(subject, status));
    if (U_FAILURE(status) || !matcher) return false;
    const bool found = matcher->find(status);
    return U_SUCCESS(status) && found;
}

} // namespace quillon::platform
