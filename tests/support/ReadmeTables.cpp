#include "tests/support/ReadmeTables.h"

#include "catalog/Browser.h"
#include "tests/support/Fixture.h"

#include <algorithm>
#include <regex>
#include <stdexcept>

namespace quillon::testing {

namespace {

using Cells = std::vector<std::string>;

// The rows of the README table whose header row is `header`, as trimmed cells.
std::vector<Cells> readmeTable(const std::string& header) {
    const std::string text = readFile(QUILLON_SOURCE_DIR "/README.md");
    std::size_t at = text.find("\n" + header + "\n");
    if (at == std::string::npos) throw std::runtime_error("README has no table " + header);
    at = text.find('\n', text.find('\n', at + 1) + 1) + 1; // past the header and the separator
    std::vector<Cells> rows;
    for (std::size_t end; text.compare(at, 2, "| ") == 0; at = end + 1) {
        end = text.find('\n', at);
        const std::string line = text.substr(at + 2, end - at - 4);
        Cells cells;
        for (std::size_t from = 0, bar; from <= line.size(); from = bar + 3) {
            bar = std::min(line.find(" | ", from), line.size());
            cells.push_back(line.substr(from, bar - from));
        }
        rows.push_back(cells);
    }
    return rows;
}

Cells codeSpans(const std::string& cell) {
    Cells spans;
    for (std::size_t open = cell.find('`'); open != std::string::npos; open = cell.find('`', open + 1)) {
        const std::size_t close = cell.find('`', open + 1);
        spans.push_back(cell.substr(open + 1, close - open - 1));
        open = close;
    }
    return spans;
}

Cells split(const std::string& text, char by) {
    Cells parts(1);
    for (char c : text) c == by ? void(parts.emplace_back()) : parts.back().push_back(c);
    return parts;
}

std::string escaped(const std::string& text) { return std::regex_replace(text, std::regex(R"([.^$|()[\]{}*+?\\])"), R"(\$&)"); }

// The folder's expression with `base` in place of its base's name; or, with `sample`, one folder it names.
std::string folderText(const std::string& pattern, bool sample) {
    static const std::string caches = [] {
        std::string names;
        for (std::string_view name : chromiumCacheNames) names += (names.empty() ? "" : "|") + std::string(name);
        return "(?:[^/]+/|[^/]+/Partitions/[^/]+/|Partitions/[^/]+/)?(?:" + names + ")";
    }();
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const std::size_t close = pattern.find(pattern[i] == '{' ? '}' : '>', i);
        if (pattern[i] == '{') {
            const Cells choices = split(pattern.substr(i + 1, close - i - 1), ',');
            if (sample) out += folderText(choices[0], true);
            else for (const std::string& choice : choices) out += (&choice == &choices[0] ? "(?:" : "|") + folderText(choice, false);
            out += sample ? "" : ")";
        } else if (pattern[i] == '<') {
            const std::string name = pattern.substr(i + 1, close - i - 1);
            out += name == "caches" ? (sample ? "" : caches) : !sample ? "[^/]+" : name == "N" ? "6" : name == "version" ? "2024.1" : name;
        } else {
            out += pattern[i] == '*' ? (sample ? "" : "[^/]*") : sample ? std::string(1, pattern[i]) : escaped(std::string(1, pattern[i]));
            continue;
        }
        i = close;
    }
    return out;
}

// The folder's base and the rest of it.
std::pair<std::string, std::string> based(const std::string& pattern, const TableBases& bases) {
    for (const auto& [name, base] : {std::pair{"$XDG_CACHE_HOME", &bases.cache}, {"$XDG_CONFIG_HOME", &bases.config},
                                     {"$TMPDIR", &bases.temp}, {"~", &bases.home}})
        if (pattern.rfind(name, 0) == 0) return {*base, pattern.substr(std::string(name).size())};
    throw std::runtime_error("no base in " + pattern);
}

} // namespace

std::vector<LocationRow> locationTable(const TableBases& bases) {
    std::vector<LocationRow> table;
    for (const Cells& cells : readmeTable("| folder | group | age | mode | why it is disposable (source) |")) {
        if (cells.at(1) == "as above") continue;
        LocationRow row{{}, split(cells[1], ','), cells[2] == "any age" ? 0 : std::stod(cells[2]) * 86400,
                        cells[3].rfind("whole", 0) == 0 ? ScanMode::whole
                        : cells[3].find("entries") != std::string::npos ? ScanMode::oldChildren : ScanMode::oldFiles};
        for (std::string& group : row.groups) group.erase(0, group.front() == ' ');
        for (const std::string& pattern : codeSpans(cells[0]))
            if (pattern.find_first_of("$~") == 0) {
                const auto [base, rest] = based(pattern, bases);
                row.folders.push_back(escaped(base) + folderText(rest, false));
            }
        table.push_back(row);
    }
    return table;
}

bool describes(const LocationRow& row, const Candidate& location) {
    return row.age == location.age && row.mode == location.mode &&
           std::find(row.groups.begin(), row.groups.end(), location.group) != row.groups.end() &&
           std::any_of(row.folders.begin(), row.folders.end(),
                       [&](const std::string& folder) { return std::regex_match(location.path, std::regex(folder)); });
}

std::string inPlaceOfFlatpakOrSnap(const std::string& path, const TableBases& bases) {
    const std::string home = escaped(bases.home);
    for (const auto& [from, to] : {std::pair{home + R"(/\.var/app/[^/]+/config/)", &bases.config},
                                   {home + R"(/\.var/app/[^/]+/cache/)", &bases.cache},
                                   {home + R"(/snap/[^/]+/common/\.cache/)", &bases.cache},
                                   {home + R"(/snap/[^/]+/common/)", &bases.config}}) {
        std::smatch match;
        if (std::regex_search(path, match, std::regex("^" + from))) return *to + "/" + match.suffix().str();
    }
    return path;
}

void makeTableFolders(const TableBases& bases) {
    for (const Cells& cells : readmeTable("| folder | group | age | mode | why it is disposable (source) |"))
        for (const std::string& pattern : codeSpans(cells[0]))
            if (pattern.find_first_of("$~") == 0 && cells[1] != "as above") {
                const auto [base, rest] = based(pattern, bases);
                std::string folder = base + folderText(rest, true);
                if (folder.back() == '/') folder.pop_back();
                makeDirectory(folder);
            }
}

std::vector<std::pair<std::string, std::vector<std::string>>> runningTable() {
    std::vector<std::pair<std::string, std::vector<std::string>>> table;
    for (const Cells& cells : readmeTable(
             "| group | running programs that keep its caches (names, or beginnings of names with `*`) |"))
        table.emplace_back(cells.at(0), codeSpans(cells.at(1)));
    return table;
}

} // namespace quillon::testing
