#include "core/Errors.h"

#include <gtest/gtest.h>

#include <stdexcept>

using quillon::describe;
using quillon::SafetyError;

TEST(Describe, SkipIsCaseNameAndQuotedReason) {
    EXPECT_EQ(describe(SafetyError::skip("Cannot open root")), "skip(\"Cannot open root\")");
    EXPECT_EQ(describe(SafetyError::skip("Relevant app or build tool is running")),
              "skip(\"Relevant app or build tool is running\")");
}

TEST(Describe, QuotesBackslashesAndControlCharactersAreEscaped) {
    EXPECT_EQ(describe(SafetyError::skip("say \"hi\"")), "skip(\"say \\\"hi\\\"\")");
    EXPECT_EQ(describe(SafetyError::skip("a\\b")), "skip(\"a\\\\b\")");
    EXPECT_EQ(describe(SafetyError::skip(std::string("l\nc\rt\tz\0", 8))), "skip(\"l\\nc\\rt\\tz\\0\")");
}

TEST(Describe, NonAsciiReasonsAreKeptAsTheyAre) {
    EXPECT_EQ(describe(SafetyError::skip("Cannot open directory component caf\u00E9: Permission denied")),
              "skip(\"Cannot open directory component caf\u00E9: Permission denied\")");
}

TEST(Describe, CancellationIsTypeNameWithParentheses) { EXPECT_EQ(describe(quillon::CleanCancelled()), "CleanCancelled()"); }

TEST(Describe, OtherErrorsUseTheirOwnDescription) {
    EXPECT_EQ(describe(std::runtime_error("Cannot launch /usr/sbin/lsof: No such file or directory")),
              "Cannot launch /usr/sbin/lsof: No such file or directory");
    EXPECT_EQ(describe(std::make_exception_ptr(SafetyError::skip("x"))), "skip(\"x\")");
    EXPECT_EQ(describe(std::make_exception_ptr(42)), "Unknown error");
}
