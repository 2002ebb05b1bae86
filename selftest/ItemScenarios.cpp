// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "selftest/Scenarios.h"

#include "core/StartupValues.h"
#include "fs/Node.h"
#include "fs/Node.h"
#include "fs/RemoveChecked.h"
#include "guard/OpenFiles.h"
#include "platform/Clock.h"
#include "platform/Folders.h"
#include "selftest/Fixtures.h"
#include "selftest/SelfTestError.h"

#include <algorithm>

namespace quillon::selftest {

namespace {

// A cutoff that makes every item written so far count as old.
double oldCutoff() { return platform::wallClock() + 100; }

} // namespace

platform::Descriptor checkOpenFiles(const SelfTestState& state) {
    const std::string recent = state.at("recent");
    platform::Descriptor held = openForReading(recent);
    const std::vector<std::string> open = openPaths();
    if (std::find(open.begin(), open.end(), recent) == open.end())
        throw SelfTestError(openFilesCode, "Open-file detection failed");
    return held;
}

void checkItemRules(SelfTestState& state) {
    const int root = state.rootDescriptor;

    // A file written moments ago is far younger than a week.
    expectSkip([&] { inspect(root, "recent", platform::wallClock() - 7 * day, state.device); });

    // A link is never an item, whatever it points to.
    makeSymbolicLink("recent", state.at("link"));
    expectSkip([&] { inspect(root, "link", oldCutoff(), state.device); });

    // A file with a second name may still be needed under that name.
    makeHardLink(state.at("recent"), state.at("hardlink"));
    expectSkip([&] { inspect(root, "hardlink", oldCutoff(), state.device); });
    removeFile(state.at("hardlink"));

    // An old folder that did not change goes, all of it.
    platform::makeFolder(state.at("generated"), false);
    writeFile(state.at("generated/cache"), payload);
    const Node generated = inspect(root, "generated", oldCutoff(), state.device);
    removeChecked(root, generated, state.removed);
    check(absent(state.at("generated")), "\"generated\" was not removed");

    // A file rewritten in place after its inspection keeps its inode but not
    // its size and times, and must be kept.
    const Node recent = inspect(root, "recent", oldCutoff(), state.device);
    overwriteInPlace(state.at("recent"), "changed and retained");
    expectSkip([&] { removeChecked(root, recent, state.removed); });
    check(nameExists(state.at("recent")), "\"recent\" was removed after it changed");
}

} // namespace quillon::selftest
