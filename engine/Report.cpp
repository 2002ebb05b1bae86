// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "engine/Report.h"

#include "core/Texts.h"
#include "platform/Formatting.h"
#include "platform/FreeSpace.h"
#include "platform/Paths.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace quillon {

namespace {

// Groups of developer tools and logs: worth guarding, not worth naming.
constexpr std::array<std::string_view, 5> unnamedBusyGroups = {"Development", "JavaScript", "Python",
                                                               "Package downloads", "Logs"};

std::string headline(const Report& report, bool dryRun) {
    if (report.cancelled) return "Cleanup cancelled. Cleared " + size(report.removed) + " before stopping.";
    if (dryRun) return "Preview: " + size(report.eligible) + " eligible for cleanup.";
    if (report.cleaned != 0 || report.removed != 0) return "Cleared " + size(report.removed) + " of disposable files.";
    return text::nothingCleared;
}

std::string busyLine(const Report& report) {
    std::vector<std::string> named;
    for (const std::string& group : report.busyGroups)
        if (std::find(unnamedBusyGroups.begin(), unnamedBusyGroups.end(), group) == unnamedBusyGroups.end())
            named.push_back(group);
    if (named.empty()) return {};
    std::sort(named.begin(), named.end()); // by character code
    std::string line = "\nRunning apps skipped: ";
    for (std::size_t i = 0; i < named.size(); ++i) line += (i == 0 ? "" : ", ") + named[i];
    return line + ".";
}

} // namespace

std::string summary(const Report& report, bool dryRun) {
    return headline(report, dryRun) + "\n\nAvailable space: " + size(report.freeAfter) + "\nChecked " +
           std::to_string(report.checked) + " cache and log locations.\nKept recent, active or protected items in " +
           std::to_string(report.skipped) + " locations." + busyLine(report);
}

std::string size(std::int64_t bytes) { return platform::formatByteCount(bytes); }

std::int64_t freeSpace() { return platform::availableBytes(platform::homeDirectory()); }

} // namespace quillon
