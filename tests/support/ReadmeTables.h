#pragma once

// The README's tables of where Quillon looks on Linux and which running
// programs keep a group's caches, read as a user reads them, so that a test
// compares the program with what it promises and never re-types either.

#include "catalog/Candidate.h"

#include <string>
#include <vector>

namespace quillon::testing {

// The bases that the folder column's `$XDG_CACHE_HOME`, `$XDG_CONFIG_HOME`, `$TMPDIR` and `~` stand for.
struct TableBases {
    std::string home, temp, cache, config;
};

// One row of the locations table; `folders` are ECMAScript expressions of its whole paths. The rows that describe
// the rows above in another place ("as above") are left out: see inPlaceOfFlatpakOrSnap.
struct LocationRow {
    std::vector<std::string> folders, groups;
    double age;
    ScanMode mode;
};
std::vector<LocationRow> locationTable(const TableBases& bases);

// Returns whether `row` describes the location `path` with `group`, `age` and `mode`.
bool describes(const LocationRow& row, const Candidate& location);

// Returns `path` with a Flatpak app's or a snap's own configuration or cache folder replaced by the base it
// stands for, as the table's Flatpak and snap rows say.
std::string inPlaceOfFlatpakOrSnap(const std::string& path, const TableBases& bases);

// Makes, for every folder of the table, one folder of that name: each `<name>` replaced by the name itself
// ("<N>" by a number, "<version>" by a version), each `{a,b}` by its first choice, `/<caches>` left out.
void makeTableFolders(const TableBases& bases);

// The running-programs table: each group with its names (a beginning of a name ends in "*").
std::vector<std::pair<std::string, std::vector<std::string>>> runningTable();

} // namespace quillon::testing
