#include "core/Errors.h"
#include "core/Texts.h"

#include <gtest/gtest.h>

#include <stdexcept>

using quillon::describe;
using quillon::SafetyError;

TEST(Describe, SkipIsCaseNameAndQuotedReason) {
    for (const std::string reason : {quillon::text::cannotOpenRoot, quillon::text::toolRunning})
        EXPECT_EQ(describe(SafetyError::skip(reason)), "skip(\"" + reason + "\")");
}

TEST(Describe, QuotesBackslashesAndControlCharactersAreEscaped) {
    EXPECT_EQ(describe(SafetyError::skip("say \"hi\"")), "skip(\"say \\\"hi\\\"\")");
    EXPECT_EQ(describe(SafetyError::skip("a\\b")), "skip(\"a\\\\b\")");
    EXPECT_EQ(describe(SafetyError::skip(std::string("l\nc\rt\tz\0", 8))), "skip(\"l\\nc\\rt\\tz\\0\")");
}

TEST(Describe, NonAsciiReasonsAreKeptAsTheyAre) {
    const std::string reason = quillon::text::cannotOpenComponent + std::string("caf\u00E9: Permission denied");
    EXPECT_EQ(describe(SafetyError::skip(reason)), "skip(\"" + reason + "\")");
}

TEST(Describe, CancellationIsTypeNameWithParentheses) { EXPECT_EQ(describe(quillon::CleanCancelled()), "CleanCancelled()"); }

TEST(Describe, OtherErrorsUseTheirOwnDescription) {
    EXPECT_EQ(describe(std::runtime_error("Cannot launch /usr/sbin/lsof: No such file or directory")),
              "Cannot launch /usr/sbin/lsof: No such file or directory");
    EXPECT_EQ(describe(std::make_exception_ptr(SafetyError::skip("x"))), "skip(\"x\")");
    EXPECT_EQ(describe(std::make_exception_ptr(42)), "Unknown error");
}
