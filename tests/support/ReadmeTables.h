// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

// The README's tables, read as a user reads them, so that tests compare the program with what it promises.

#include <string>
#include <vector>

namespace quillon::testing {

// The header rows of the tables of where Quillon looks on Linux and of the programs that keep a group's caches.
inline constexpr const char* locationTable = "| folder | group | age | mode | why it is disposable (source) |";
inline constexpr const char* runningTable =
    "| group | running programs that keep its caches (names, or beginnings of names with `*`) |";

// Returns the rows of the README table whose header row is `header`, each as its cells.
std::vector<std::vector<std::string>> readmeTable(const std::string& header);

// Returns the `code` spans of a table cell.
std::vector<std::string> codeSpans(const std::string& cell);

// Returns the parts of `text` between the occurrences of `by`.
std::vector<std::string> split(const std::string& text, const std::string& by);

} // namespace quillon::testing
