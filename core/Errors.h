// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <exception>
#include <string>

namespace quillon {

// The item or location must be left alone. The reason is a short, fixed
// English sentence chosen by whoever refuses, one of core/Texts.h.
class SafetyError : public std::exception {
public:
    // The one case of the error: skip(reason).
    static SafetyError skip(std::string reason) { return SafetyError(std::move(reason)); }

    const std::string& reason() const noexcept { return reason_; }
    const char* what() const noexcept override { return reason_.c_str(); }

private:
    explicit SafetyError(std::string reason) : reason_(std::move(reason)) {}
    std::string reason_;
};

// Cancellation was seen. Carries nothing.
class CleanCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "CleanCancelled()"; }
};

// Returns the text of an error as written into notes, log lines and the
// self-test's failure message: skip("reason") with the reason's quotes,
// backslashes and control characters escaped, CleanCancelled(), or the
// platform's own description of any other error.
std::string describe(const std::exception& error);

// The same for an error caught as an exception pointer (anything that is not
// a std::exception is described as "Unknown error").
std::string describe(const std::exception_ptr& error);

} // namespace quillon
