// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "platform/Descriptor.h"

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace quillon::selftest {

// The bytes every fixture file holds unless a scenario says otherwise.
inline constexpr const char* payload = "keep me";

// What the scenarios share: the fixture folder, its open descriptor and
// device, and the byte counter of every removal the test makes.
struct SelfTestState {
    std::string root;         // absolute path of the fixture folder
    int rootDescriptor = -1;  // the fixture folder, opened without following links
    dev_t device = 0;         // the fixture folder's device
    std::int64_t removed = 0; // bytes removed by the system under test

    // Returns the absolute path of `relative` inside the fixture folder.
    std::string at(const std::string& relative) const { return root + "/" + relative; }
};

// The scenarios, in the order the self-test runs them; each works on the
// state the earlier ones left and throws its first failure.

// Scenario 1: opens "recent" and checks that the open-file list names it.
// Returns the open file, which the caller holds to the end of the test.
platform::Descriptor checkOpenFiles(const SelfTestState& state);

// Scenarios 2 to 6: recent items, links and hard links are refused; an old
// folder is removed; an item changed after inspection is kept.
void checkItemRules(SelfTestState& state);

// Scenarios 7 to 9: content that arrives after planning, a folder replaced
// by a link, and a folder of mixed old and new files.
void checkPlannedRemovals(SelfTestState& state);

// Scenario 10: the running-tool rules on fixed sets of names.
void checkRunningTools();

// Scenarios 11 and 12: the real catalogue names no protected place; the
// catalogue built on fixture homes finds and leaves out the right folders.
void checkCatalogue(const SelfTestState& state);

// Scenario 13: temporary build folders are found, validated again before
// planning, and only their cache folders are cleaned.
void checkTemporaryBuilds(SelfTestState& state);

// Scenarios 14 and 15: a cancelled token stops removals, scans and a whole
// run before it starts.
void checkCancellation(SelfTestState& state);

} // namespace quillon::selftest
