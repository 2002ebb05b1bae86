// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "selftest/SelfTest.h"

#include "core/Errors.h"
#include "core/Texts.h"
#include "fs/Directory.h"
#include "platform/Paths.h"
#include "platform/PlatformError.h"
#include "selftest/Fixtures.h"
#include "selftest/Scenarios.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

namespace quillon {

void selfTest() {
    const std::string temp = platform::userTempDirectory();
    // Without a private temporary folder there is nowhere safe for the fixtures.
    if (temp.empty()) throw platform::PlatformError("Cannot create the test folder: no private temporary folder");

    // Declared first, so destroyed last: the held file and the descriptor
    // are closed before the tree goes, on every exit.
    const selftest::FixtureTree tree(temp + "/quillon-tests-" + selftest::randomUuid());
    const platform::Descriptor root = openDirectory(tree.path());
    struct stat rootStatus {};
    if (::fstat(root.get(), &rootStatus) != 0)
        throw platform::PlatformError("Cannot read the test folder: " + platform::errorText(errno));

    selftest::SelfTestState state;
    state.root = tree.path();
    state.rootDescriptor = root.get();
    state.device = rootStatus.st_dev;
    selftest::writeFile(state.at("recent"), selftest::payload);

    const platform::Descriptor held = selftest::checkOpenFiles(state);
    selftest::checkItemRules(state);
    selftest::checkPlannedRemovals(state);
    selftest::checkRunningTools();
    selftest::checkCatalogue(state);
    selftest::checkTemporaryBuilds(state);
    selftest::checkCancellation(state);

    std::fputs(text::selfTestPassed, stdout);
    std::fflush(stdout);
}

} // namespace quillon
