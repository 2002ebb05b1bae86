// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "core/Errors.h"
#include <gtest/gtest.h>
#include <stdexcept>

using namespace quillon;

// A skip's reason is quoted, its quotes, backslashes and control characters escaped; other errors keep their text.
TEST(Describe, NamesTheCaseAndEscapesTheReason) {
    const std::pair<std::exception_ptr, std::string> rows[] = {
        {std::make_exception_ptr(SafetyError::skip("caf\u00E9: denied")), "skip(\"caf\u00E9: denied\")"},
        {std::make_exception_ptr(SafetyError::skip(std::string("\"\\\n\r\t\0", 6))), "skip(\"\\\"\\\\\\n\\r\\t\\0\")"},
        {std::make_exception_ptr(CleanCancelled()), "CleanCancelled()"},
        {std::make_exception_ptr(std::runtime_error("Cannot list /x")), "Cannot list /x"},
        {std::make_exception_ptr(42), "Unknown error"},
    };
    for (const auto& [error, text] : rows) EXPECT_EQ(describe(error), text);
}
