// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// A check that expects a refusal fails the self-test when none comes, and lets other errors through (that it passes
// on a refusal, every passing self-test run shows; the failure texts of check(), the failing run's output).

#include "selftest/SelfTestError.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace st = quillon::selftest;

TEST(SelfTestError, ExpectSkipFailsWithoutARefusalAndLetsOtherErrorsThrough) {
    const std::pair<void (*)(), std::string> rows[] = {
        {[] { st::expectSkip([] {}); }, std::string("self-test: ") + quillon::text::expectedSkip},
        {[] { st::expectSkip([] { throw quillon::CleanCancelled(); }); }, "other: CleanCancelled()"},
        {[] { st::expectSkip([] { throw std::runtime_error("Cannot write /x"); }); }, "other: Cannot write /x"},
    };
    for (const auto& [step, expected] : rows) {
        try {
            step();
            EXPECT_EQ("passed", expected);
        } catch (const std::exception& error) {
            const bool own = dynamic_cast<const st::SelfTestError*>(&error) != nullptr;
            EXPECT_EQ((own ? "self-test: " : "other: ") + quillon::describe(error), expected);
        }
    }
}
