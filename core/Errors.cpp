// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "core/Errors.h"

namespace quillon {

namespace {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\0': out += "\\0"; break;
        default: out += c;
        }
    }
    return out + "\"";
}

} // namespace

std::string describe(const std::exception& error) {
    if (const auto* safety = dynamic_cast<const SafetyError*>(&error)) return "skip(" + quoted(safety->reason()) + ")";
    if (dynamic_cast<const CleanCancelled*>(&error) != nullptr) return "CleanCancelled()";
    return error.what();
}

std::string describe(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return describe(e);
    } catch (...) {
        return "Unknown error";
    }
}

} // namespace quillon
