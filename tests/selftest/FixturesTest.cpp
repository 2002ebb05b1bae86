// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// The self-test's fixture tree never adopts a folder that exists, nor follows a link out of itself when it goes.

#include "selftest/Fixtures.h"
#include "platform/PlatformError.h"
#include "tests/support/Fixture.h"
#include <gtest/gtest.h>

namespace t = quillon::testing;
using quillon::platform::PlatformError;
using quillon::selftest::FixtureTree;

TEST(FixtureTree, IsMadeOnlyWhereNothingIsAndRemovedWithoutFollowingLinks) {
    const std::string base = t::freshDirectory("tree");
    t::makeDirectories(base + "/taken"), t::writeFile(base + "/taken/someone-elses", "keep me");
    for (const char* taken : {"/taken", "/missing/tree"}) EXPECT_THROW(FixtureTree(base + taken), PlatformError);
    {
        const FixtureTree tree(base + "/tree");
        t::makeDirectories(base + "/tree/deep"), t::makeSymbolicLink(base + "/taken", base + "/tree/folder-link");
        t::makeSymbolicLink(base + "/taken/someone-elses", base + "/tree/deep/file-link");
    }
    EXPECT_FALSE(t::nameExists(base + "/tree") || t::nameExists(base + "/missing"));
    EXPECT_EQ(t::readFile(base + "/taken/someone-elses"), "keep me");
}
