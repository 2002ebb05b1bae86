#pragma once

// The README's tables of where Quillon looks on Linux and of the running programs that keep a group's caches, read
// as a user reads them, so that tests compare the program with what it promises and never re-type either.

#include "catalog/Candidate.h"

#include <regex>
#include <string>
#include <vector>

namespace quillon::testing {

// The folders that `~`, `$TMPDIR`, `$XDG_CACHE_HOME` and `$XDG_CONFIG_HOME` stand for in the folder column.
struct TableBases {
    std::string home, temp, cache, config;
};

// A row of the locations table: expressions of its folders' whole paths, its groups, age and mode. The rows of the
// Flatpak and snap copies ("as above") are left out: see asInTable.
struct LocationRow {
    std::vector<std::regex> folders;
    std::vector<std::string> groups;
    double age;
    ScanMode mode;
};
std::vector<LocationRow> locationTable(const TableBases& bases);

// Returns `rows` with a Flatpak app's or snap's own folders in their paths replaced by the bases they stand for.
std::vector<Candidate> asInTable(std::vector<Candidate> rows, const TableBases& bases);

// Returns whether a row of `table` names the path of `location` (as in the table) with its group, age and mode.
bool described(const std::vector<LocationRow>& table, const Candidate& location);

// Makes a folder for each folder of the table, with each "<name>" its name ("<N>" a number, "<version>" a
// version), each "{a,b}" its first choice, and "*" and "/<caches>" left out.
void makeTableFolders(const TableBases& bases);

// The running-programs table: each group with its names (a beginning of a name ends in "*").
std::vector<std::pair<std::string, std::vector<std::string>>> runningTable();

} // namespace quillon::testing
