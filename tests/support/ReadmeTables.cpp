// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "tests/support/ReadmeTables.h"

#include "tests/support/Fixture.h"

#include <algorithm>

namespace quillon::testing {

std::vector<std::string> split(const std::string& text, const std::string& by) {
    std::vector<std::string> parts;
    for (std::size_t from = 0, end = 0; end != text.size(); from = end + by.size())
        parts.push_back(text.substr(from, (end = std::min(text.find(by, from), text.size())) - from));
    return parts;
}

std::vector<std::vector<std::string>> readmeTable(const std::string& header) {
    const std::string text = readFile(QUILLON_SOURCE_DIR "/README.md");
    std::vector<std::vector<std::string>> rows;
    std::size_t at = text.find('\n', text.find('\n', text.find("\n" + header + "\n") + 1) + 1) + 1; // past "|---|"
    for (std::size_t end; text.compare(at, 2, "| ") == 0; at = end + 1)
        rows.push_back(split(text.substr(at + 2, (end = text.find('\n', at)) - at - 4), " | "));
    return rows;
}

std::vector<std::string> codeSpans(const std::string& cell) {
    std::vector<std::string> parts = split(cell, "`"), spans;
    for (std::size_t i = 1; i < parts.size(); i += 2) spans.push_back(parts[i]);
    return spans;
}

} // namespace quillon::testing
