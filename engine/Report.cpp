// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "engine/Report.h"

#include "core/Texts.h"
#include "platform/Formatting.h"
#include "platform/FreeSpace.h"

#include <algorithm>

namespace quillon {

namespace {

std::string headline(const Report& report, bool dryRun) {
    if (report.cancelled) return "Cleanup cancelled. Cleared " + size(report.removed) + " before stopping.";
    if (dryRun) return "Preview: " + size(report.eligible) + " eligible for cleanup.";
    if (report.cleaned != 0 || report.removed != 0) return "Cleared " + size(report.removed) + " of disposable files.";
    return text::nothingCleared;
}

std::string busyLine(const Report& report) {
    std::vector<std::string> named;
    for (const Group group : report.busyGroups)
        if (about(group).namedWhenBusy) named.emplace_back(about(group).name);
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

std::int64_t freeSpace(const std::string& home) { return platform::availableBytes(home); }

} // namespace quillon
