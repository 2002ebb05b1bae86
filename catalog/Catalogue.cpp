// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "catalog/Catalogue.h"

#include "catalog/Rows.h"

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <utility>

namespace quillon {

namespace {

// Whether `path` lies below one of the non-empty five bases (any of which may
// be "/"). A missing (empty) base holds nothing.
bool insideABase(const std::string& path, const Bases& bases) {
    const std::array<std::reference_wrapper<const std::string>, 5> roots = {
        bases.home, bases.temp, bases.cache, bases.sharedTemp, bases.config};
    return std::any_of(roots.begin(), roots.end(), [&](const std::string& base) {
        return !base.empty() && path != base && platform::within(path, base);
    });
}

// Whether anything `row` may plan lies in `folder` or below it.
bool reaches(const Candidate& row, const std::string& folder) {
    if (platform::within(row.path, folder)) return true;
    return row.mode != ScanMode::oldTopFiles && platform::within(folder, row.path);
}

// The rows kept so far, by path.
class KeptRows {
public:
    void add(const Candidate& row) { modes_.emplace(row.path, row.mode); }

    // Whether `row` would plan an item that a kept row plans too: it lies in
    // a kept row's reach, or a kept row lies in its reach.
    bool overlap(const Candidate& row) const {
        for (std::size_t end = row.path.size(); end != std::string::npos && end > 0;
             end = row.path.rfind('/', end - 1)) {
            const auto above = modes_.find(row.path.substr(0, end));
            if (above != modes_.end() && (end == row.path.size() || above->second != ScanMode::oldTopFiles))
                return true;
        }
        if (row.mode == ScanMode::oldTopFiles) return false;
        const auto below = modes_.lower_bound(row.path + "/");
        return below != modes_.end() && platform::within(below->first, row.path);
    }

private:
    std::map<std::string, ScanMode> modes_;
};

// Keeps the first row of every path; later rows of the same path, whatever
// their group, age or mode, are dropped, and so are later rows that overlap
// an earlier one: no item may be counted by two locations. Rows outside
// every base, and rows that reach one of the `excluded` folders, go too.
std::vector<Candidate> firstOfEachPath(std::vector<Candidate> rows, const Bases& bases,
                                       const std::vector<std::string>& excluded) {
    KeptRows seen;
    std::vector<Candidate> kept;
    kept.reserve(rows.size());
    for (Candidate& row : rows) {
        if (!insideABase(row.path, bases)) continue;
        if (std::any_of(excluded.begin(), excluded.end(), [&](auto& folder) { return reaches(row, folder); }))
            continue;
        if (seen.overlap(row)) continue;
        seen.add(row);
        kept.push_back(std::move(row));
    }
    return kept;
}

} // namespace

std::vector<Candidate> candidates(const Bases& bases) {
    // The rows that programs on Linux keep too, each after the macOS rows
    // that come before it, then the caches only Linux programs keep.
    std::vector<Candidate> rows;
    appendMacRows(rows, bases, MacRows::buildsAndExports);
    rows.emplace_back(join(bases.cache, "clang/ModuleCache"), week, Group::development, ScanMode::oldChildren);
    appendMacRows(rows, bases, MacRows::swiftAndXcode);
    rows.emplace_back(join(bases.temp, "node-compile-cache"), week, Group::javaScript, ScanMode::oldFiles);
    appendMacRows(rows, bases, MacRows::appCaches);
    rows.emplace_back(join(bases.home, ".npm/_cacache/content-v2"), week, Group::javaScript, ScanMode::oldFiles);
    appendMacRows(rows, bases, MacRows::pip);
    rows.emplace_back(join(bases.home, ".cache/pip"), week, Group::python, ScanMode::oldFiles);
    appendMacRows(rows, bases, MacRows::downloadsBrowsersAndLogs);
    rows.emplace_back(join(bases.home, ".npm/_logs"), month, Group::logs, ScanMode::oldFiles, logPattern);
    appendMacRows(rows, bases, MacRows::conferenceLogs);
    appendLinuxRows(rows, bases);
    std::vector<std::string> excluded = platform::refusedBaseDirectories();
    if (!bases.logFolder.empty()) excluded.push_back(bases.logFolder);
    return firstOfEachPath(std::move(rows), bases, excluded);
}

} // namespace quillon
