// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// A check that expects a refusal fails the self-test when none comes, and lets other errors through (that it passes
// on a refusal, every passing self-test run shows; the failure texts of check(), the failing run's output).

#include "selftest/SelfTestError.h"
#include <gtest/gtest.h>

namespace st = quillon::selftest;

TEST(SelfTestError, ExpectSkipFailsWithoutARefusalAndLetsOtherErrorsThrough) {
    try {
        st::expectSkip([] {}), ADD_FAILURE() << "no failure without a refusal";
    } catch (const st::SelfTestError& error) {
        EXPECT_EQ(quillon::describe(error), quillon::text::expectedSkip);
    }
    EXPECT_THROW(st::expectSkip([] { throw quillon::CleanCancelled(); }), quillon::CleanCancelled);
}
