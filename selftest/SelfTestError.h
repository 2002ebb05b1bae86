// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "core/Errors.h"
#include "core/Texts.h"

#include <exception>
#include <string>

namespace quillon::selftest {

// The codes of the self-test's own failures.
enum SelfTestCode : int {
    expectedSkipCode = 1,  // "Expected a safe skip"
    openFilesCode = 2,     // "Open-file detection failed"
    removalCancelCode = 3, // "Removal ignored cancellation"
    scanCancelCode = 4,    // "Scan ignored cancellation"
    checkFailedCode = 5,   // a check without a message of its own: "Check failed: " + what was checked
};

// The failure of one self-test check: the error domain "SelfTest", a code
// and a message. what() is the message, so describe() reports exactly it.
class SelfTestError : public std::exception {
public:
    SelfTestError(int code, std::string message) : code_(code), message_(std::move(message)) {}

    // Returns "SelfTest".
    const char* domain() const noexcept { return "SelfTest"; }
    int code() const noexcept { return code_; }
    const std::string& message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    int code_;
    std::string message_;
};

// Throws SelfTestError(checkFailedCode, "Check failed: " + what) unless
// `condition` holds.
inline void check(bool condition, const std::string& what) {
    if (!condition) throw SelfTestError(checkFailedCode, "Check failed: " + what);
}

// Runs `operation`, which must refuse: returns when it throws SafetyError,
// throws SelfTestError(expectedSkipCode, "Expected a safe skip") when it
// returns normally, and lets any other error through unchanged.
template <typename Operation> void expectSkip(Operation&& operation) {
    try {
        operation();
    } catch (const SafetyError&) {
        return;
    }
    throw SelfTestError(expectedSkipCode, text::expectedSkip);
}

} // namespace quillon::selftest
