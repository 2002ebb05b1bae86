// The self-test's failure error and its two checking helpers.

#include "selftest/SelfTestError.h"

#include "core/Errors.h"
#include "core/Texts.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace st = quillon::selftest;

TEST(SelfTestError, CarriesTheSelfTestDomainItsCodeAndItsMessage) {
    const st::SelfTestError error(2, "Open-file detection failed");
    EXPECT_STREQ(error.domain(), "SelfTest");
    EXPECT_EQ(error.code(), 2);
    EXPECT_EQ(error.message(), "Open-file detection failed");
}

TEST(SelfTestError, IsDescribedByItsMessageAlone) {
    const st::SelfTestError error(1, quillon::text::expectedSkip);
    EXPECT_EQ(quillon::describe(error), quillon::text::expectedSkip);
}

TEST(SelfTestCodes, AreTheNumbersOfTheFourMessagesAndOneForChecks) {
    EXPECT_EQ(st::expectedSkipCode, 1);
    EXPECT_EQ(st::openFilesCode, 2);
    EXPECT_EQ(st::removalCancelCode, 3);
    EXPECT_EQ(st::scanCancelCode, 4);
    EXPECT_EQ(st::checkFailedCode, 5);
}

TEST(Check, ReturnsWhenTheConditionHolds) { EXPECT_NO_THROW(st::check(true, "anything")); }

TEST(Check, ThrowsCheckFailedNamingWhatWasChecked) {
    try {
        st::check(false, "\"generated\" was not removed");
        FAIL() << "no error";
    } catch (const st::SelfTestError& error) {
        EXPECT_EQ(error.code(), 5);
        EXPECT_EQ(error.message(), "Check failed: \"generated\" was not removed");
    }
}

TEST(ExpectSkip, ReturnsWhenTheOperationRefuses) {
    bool ran = false;
    EXPECT_NO_THROW(st::expectSkip([&] {
        ran = true;
        throw quillon::SafetyError::skip(quillon::text::recentlyChanged);
    }));
    EXPECT_TRUE(ran);
}

TEST(ExpectSkip, ThrowsExpectedASafeSkipWhenTheOperationSucceeds) {
    try {
        st::expectSkip([] {});
        FAIL() << "no error";
    } catch (const st::SelfTestError& error) {
        EXPECT_EQ(error.code(), 1);
        EXPECT_EQ(error.message(), quillon::text::expectedSkip);
    }
}

TEST(ExpectSkip, LetsCancellationThroughUnchanged) {
    EXPECT_THROW(st::expectSkip([] { throw quillon::CleanCancelled(); }), quillon::CleanCancelled);
}

TEST(ExpectSkip, LetsAnyOtherErrorThroughUnchanged) {
    try {
        st::expectSkip([] { throw std::runtime_error("Cannot write /x: No space left on device"); });
        FAIL() << "no error";
    } catch (const st::SelfTestError&) {
        FAIL() << "turned into a self-test error";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Cannot write /x: No space left on device");
    }
}
