#include "core/Errors.h"
#include "core/Texts.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace quillon;

// A skip's reason is quoted with its quotes, backslashes and control
// characters escaped and anything else kept, so that a note stays one line.
TEST(Describe, NamesTheCaseAndEscapesTheReason) {
    const std::string component = text::cannotOpenComponent + std::string("caf\u00E9: Permission denied");
    const std::pair<std::exception_ptr, std::string> rows[] = {
        {std::make_exception_ptr(SafetyError::skip(text::toolRunning)), "skip(\"" + std::string(text::toolRunning) + "\")"},
        {std::make_exception_ptr(SafetyError::skip(component)), "skip(\"" + component + "\")"},
        {std::make_exception_ptr(SafetyError::skip("say \"hi\" a\\b")), "skip(\"say \\\"hi\\\" a\\\\b\")"},
        {std::make_exception_ptr(SafetyError::skip(std::string("l\nc\rt\tz\0", 8))), "skip(\"l\\nc\\rt\\tz\\0\")"},
        {std::make_exception_ptr(CleanCancelled()), "CleanCancelled()"},
        {std::make_exception_ptr(std::runtime_error("Cannot list /x: No such file")), "Cannot list /x: No such file"},
        {std::make_exception_ptr(42), "Unknown error"},
    };
    for (const auto& [error, text] : rows) EXPECT_EQ(describe(error), text);
}
