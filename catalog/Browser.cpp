// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "catalog/Browser.h"

#include "platform/Folders.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace quillon {

namespace {

void appendCaches(std::vector<Candidate>& rows, const std::string& folder, Group group) {
    for (std::string_view name : chromiumCacheNames) rows.emplace_back(platform::joinPath(folder, name), 0.0, group);
}

bool isProfile(const std::string& name, Group group) {
    static const platform::Regex numberedProfile("^Profile [0-9]+$");
    if (name == "Default" || numberedProfile.search(name)) return true;
    return group == Group::atlas && name.rfind("user-", 0) == 0;
}

} // namespace

void browser(std::vector<Candidate>& rows, const std::string& root, Group group) {
    appendCaches(rows, root, group);
    for (const std::string& entry : platform::listFolder(root))
        if (isProfile(entry, group)) appendCaches(rows, platform::joinPath(root, entry), group);
    // Storage partitions hold the same caches whatever they are called.
    for (const std::string_view folder : {"Partitions", "Default/Partitions"}) {
        const std::string partitions = platform::joinPath(root, folder);
        for (const std::string& partition : platform::listFolder(partitions))
            appendCaches(rows, platform::joinPath(partitions, partition), group);
    }
}

} // namespace quillon
