// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "guard/RunningTools.h"

#include "core/Texts.h"
#include "guard/ProcessTableQuery.h"
#include "platform/Text.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace quillon {

namespace {

// Whether `test` holds for one of the names of `list` ("a|b|c").
bool anyName(std::string_view list, const auto& test) {
    for (std::size_t start = 0; start < list.size();) {
        const std::size_t end = std::min(list.find('|', start), list.size());
        if (test(list.substr(start, end - start))) return true;
        start = end + 1;
    }
    return false;
}

bool contains(std::string_view list, std::string_view name) {
    return anyName(list, [&](std::string_view entry) { return entry == name; });
}

bool startsWithAny(std::string_view prefixes, std::string_view name) {
    return anyName(prefixes, [&](std::string_view prefix) { return name.substr(0, prefix.size()) == prefix; });
}

bool protects(const GroupInfo& rule, std::string_view name) {
    if (contains(rule.ignored, name)) return false;
    return contains(rule.names, name) || startsWithAny(rule.prefixes, name);
}

} // namespace

std::set<std::string> runningCommands(const RunControl* control) {
    return runningCommandsIn(platform::processTableRoot, control);
}

std::set<std::string> runningCommandsIn(const std::string& processTable, const RunControl* control) {
    const std::vector<std::string> names = readProcessTable(
        control, text::cannotCheckRunningApps, [&] { return platform::executableNames(processTable); });
    std::set<std::string> running;
    for (const std::string& name : names)
        if (!name.empty()) running.insert(platform::lowercase(name));
    return running;
}

bool busyTools(Group group, const std::set<std::string>& running) {
    const GroupInfo& rule = about(group);
    return std::any_of(running.begin(), running.end(), [&](const std::string& name) { return protects(rule, name); });
}

} // namespace quillon
