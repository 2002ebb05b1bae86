// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// A check that expects a refusal fails when none comes and lets other errors through (a refusal: any passing run).

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
