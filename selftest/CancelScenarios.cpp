// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "selftest/Scenarios.h"

#include "catalog/Candidate.h"
#include "core/Errors.h"
#include "core/RunControl.h"
#include "core/Texts.h"
#include "engine/Clean.h"
#include "fs/Node.h"
#include "fs/RemoveChecked.h"
#include "platform/Clock.h"
#include "scan/Plan.h"
#include "selftest/Fixtures.h"
#include "selftest/SelfTestError.h"

namespace quillon::selftest {

void checkCancellation(SelfTestState& state) {
    writeFile(state.at("cancel-first"), payload);
    writeFile(state.at("cancel-second"), payload);
    const double cutoff = platform::wallClock() + 100;
    const Node first = inspect(state.rootDescriptor, "cancel-first", cutoff, state.device);
    const Node second = inspect(state.rootDescriptor, "cancel-second", cutoff, state.device);

    RunControl control;
    removeChecked(state.rootDescriptor, first, state.removed, &control);
    control.cancel();

    // After cancellation not one more byte goes.
    const std::int64_t before = state.removed;
    try {
        removeChecked(state.rootDescriptor, second, state.removed, &control);
        throw SelfTestError(removalCancelCode, "Removal ignored cancellation");
    } catch (const CleanCancelled&) {
    }
    check(state.removed == before, "the byte counter grew after cancellation");
    check(nameExists(state.at("cancel-second")), "\"cancel-second\" was removed after cancellation");

    try {
        ScanStats stats;
        plan(Candidate(state.root, -100, Group::logs, ScanMode::oldFiles), stats, &control);
        throw SelfTestError(scanCancelCode, "Scan ignored cancellation");
    } catch (const CleanCancelled&) {
    }

    // A run given a cancelled token returns before it touches anything.
    const Report report = clean(false, &control);
    check(report.cancelled, "a run with a cancelled token did not report cancellation");
    check(report.removed == 0, "a run with a cancelled token removed " + std::to_string(report.removed) + " bytes");
    check(report.checked == 0, "a run with a cancelled token checked " + std::to_string(report.checked) + " locations");
    check(report.notes == std::vector<std::string>{text::cancelledBeforeStart},
          "a run with a cancelled token started before it stopped");
}

} // namespace quillon::selftest
