// The self-test's failure texts, and the errors its checks let through (that
// they pass where they should, every passing self-test run shows).

#include "selftest/SelfTestError.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace st = quillon::selftest;

TEST(SelfTestError, ChecksThrowTheirTextsAndLetOtherErrorsThrough) {
    const std::pair<void (*)(), std::string> rows[] = {
        {[] { st::check(false, "\"generated\" was not removed"); }, "5: Check failed: \"generated\" was not removed"},
        {[] { st::expectSkip([] {}); }, std::string("1: ") + quillon::text::expectedSkip},
        {[] { st::expectSkip([] { throw quillon::CleanCancelled(); }); }, "other: CleanCancelled()"},
        {[] { st::expectSkip([] { throw std::runtime_error("Cannot write /x"); }); }, "other: Cannot write /x"},
    };
    for (const auto& [step, expected] : rows) {
        try {
            step();
            EXPECT_EQ("passed", expected);
        } catch (const std::exception& error) {
            const auto* failed = dynamic_cast<const st::SelfTestError*>(&error);
            EXPECT_EQ((failed ? std::to_string(failed->code()) : "other") + ": " + quillon::describe(error), expected);
        }
    }
}
