#include "tests/support/ReadmeTables.h"

#include "catalog/Browser.h"
#include "tests/support/Fixture.h"

#include <algorithm>
#include <regex>
#include <stdexcept>

namespace quillon::testing {

namespace {

using Cells = std::vector<std::string>;
const std::string locations = "| folder | group | age | mode | why it is disposable (source) |";

Cells split(const std::string& text, const std::string& by) {
    Cells parts;
    for (std::size_t from = 0, end = 0; end != text.size(); from = end + by.size())
        parts.push_back(text.substr(from, (end = std::min(text.find(by, from), text.size())) - from));
    return parts;
}

// The rows of the README table whose header row is `header`, as cells.
std::vector<Cells> readmeTable(const std::string& header) {
    const std::string text = readFile(QUILLON_SOURCE_DIR "/README.md");
    std::vector<Cells> rows;
    std::size_t at = text.find('\n', text.find('\n', text.find("\n" + header + "\n") + 1) + 1) + 1; // past "|---|"
    for (std::size_t end; text.compare(at, 2, "| ") == 0; at = end + 1)
        rows.push_back(split(text.substr(at + 2, (end = text.find('\n', at)) - at - 4), " | "));
    return rows;
}

// The `code` spans of a cell that are folders.
Cells folders(const std::string& cell) {
    Cells spans = split(cell, "`");
    for (std::size_t i = 0; i < spans.size(); ++i) spans[i] = i % 2 && spans[i].find_first_of("$~") == 0 ? spans[i] : "";
    std::erase(spans, "");
    return spans;
}

std::string escaped(const std::string& text) { return std::regex_replace(text, std::regex(R"([.^$|()[\]{}*+?\\])"), R"(\$&)"); }

// The expression of a folder below its base.
std::string expression(const std::string& rest) {
    std::string out, cacheNames;
    for (std::string_view name : chromiumCacheNames) cacheNames += "|" + std::string(name);
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const char c = rest[i];
        const std::size_t close = rest.find(c == '{' ? '}' : '>', i);
        if (c == '*') out += "[^/]*";
        else if (c == '{') {
            std::string choices;
            for (const std::string& choice : split(rest.substr(i + 1, close - i - 1), ",")) choices += "|" + expression(choice);
            out += "(?:" + choices.substr(1) + ")";
        }
        else if (c == '<') out += rest.compare(i, close - i + 1, "<caches>") == 0
            ? "(?:[^/]+/|[^/]+/Partitions/[^/]+/|Partitions/[^/]+/)?(?:" + cacheNames.substr(1) + ")" : "[^/]+";
        else out += escaped(std::string(1, c));
        if (c == '{' || c == '<') i = close;
    }
    return out;
}

// The expression of a folder, or with `sample` one folder it names.
std::string folderText(const std::string& pattern, const TableBases& bases, bool sample) {
    for (const auto& [name, base] : {std::pair{"$XDG_CACHE_HOME", bases.cache}, {"$XDG_CONFIG_HOME", bases.config},
                                     {"$TMPDIR", bases.temp}, {"~", bases.home}}) {
        if (pattern.rfind(name, 0) != 0) continue;
        const std::string rest = pattern.substr(std::string(name).size());
        if (!sample) return escaped(base) + expression(rest);
        std::string out = std::regex_replace(base + rest, std::regex(R"(\{([^,}]*)[^}]*\}|\*)"), "$1");
        out = std::regex_replace(std::regex_replace(out, std::regex("<N>"), "6"), std::regex("<version>"), "2024.1");
        return std::regex_replace(out, std::regex("/?<caches>|<([^>]*)>"), "$1");
    }
    throw std::runtime_error("no base in " + pattern);
}

} // namespace

std::vector<LocationRow> locationTable(const TableBases& bases) {
    std::vector<LocationRow> table;
    for (const Cells& cells : readmeTable(locations)) {
        if (cells.at(1) == "as above") continue;
        const std::string& mode = cells.at(3);
        table.push_back({{}, split(cells[1], ", "), cells[2] == "any age" ? 0 : std::stod(cells[2]) * 86400,
                         mode == "whole" ? ScanMode::whole : mode == "old entries" ? ScanMode::oldChildren : ScanMode::oldFiles});
        for (const std::string& folder : folders(cells[0])) table.back().folders.emplace_back(folderText(folder, bases, false));
    }
    return table;
}

std::vector<Candidate> asInTable(std::vector<Candidate> rows, const TableBases& bases) {
    const std::string home = escaped(bases.home);
    for (const auto& [copy, base] : {std::pair{home + R"(/\.var/app/[^/]+/config/)", bases.config},
                                     {home + R"(/\.var/app/[^/]+/cache/)", bases.cache},
                                     {home + R"(/snap/[^/]+/common/\.cache/)", bases.cache},
                                     {home + R"(/snap/[^/]+/common/)", bases.config}}) {
        const std::regex expression("^" + copy);
        for (Candidate& row : rows) row.path = std::regex_replace(row.path, expression, base + "/");
    }
    return rows;
}

bool described(const std::vector<LocationRow>& table, const Candidate& location) {
    return std::any_of(table.begin(), table.end(), [&](const LocationRow& row) {
        return row.age == location.age && row.mode == location.mode &&
               std::find(row.groups.begin(), row.groups.end(), location.group) != row.groups.end() &&
               std::any_of(row.folders.begin(), row.folders.end(),
                           [&](const std::regex& folder) { return std::regex_match(location.path, folder); });
    });
}

void makeTableFolders(const TableBases& bases) {
    for (const Cells& cells : readmeTable(locations))
        for (const std::string& folder : folders(cells.at(0)))
            if (cells.at(1) != "as above") makeDirectory(folderText(folder, bases, true));
}

std::vector<std::pair<std::string, std::vector<std::string>>> runningTable() {
    std::vector<std::pair<std::string, std::vector<std::string>>> table;
    for (const Cells& cells :
         readmeTable("| group | running programs that keep its caches (names, or beginnings of names with `*`) |"))
        table.emplace_back(cells.at(0), split(cells.at(1), ", "));
    for (auto& [group, names] : table)
        for (std::string& name : names) name = name.substr(1, name.size() - 2); // without the backquotes
    return table;
}

} // namespace quillon::testing
