// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "platform/Formatting.h"

#include <array>

namespace quillon::platform {

namespace {
__extension__ typedef unsigned __int128 Wide;
}

std::string formatByteCount(std::int64_t bytes) {
    if (bytes == 0) return "Zero KB";
    const std::string sign = bytes < 0 ? "-" : "";
    // The magnitude as unsigned, so that the most negative count has one too.
    const Wide magnitude = bytes < 0
        ? static_cast<Wide>(-(bytes + 1)) + 1
        : static_cast<Wide>(bytes);
    if (magnitude == 1) return sign + "1 byte";
    if (magnitude < 1000) return sign + std::to_string(static_cast<unsigned long long>(magnitude)) + " bytes";

    static constexpr std::array<const char*, 6> units = {"KB", "MB", "GB", "TB", "PB", "EB"};
    Wide divisor = 1;
    for (std::size_t u = 0; u < units.size(); ++u) {
        divisor *= 1000;
        const int decimals = u == 0 ? 0 : (u == 1 ? 1 : 2);
        Wide scale = 1;
        for (int d = 0; d < decimals; ++d) scale *= 10;
        // Round half away from zero, in exact integer arithmetic.
        const Wide rounded = (magnitude * scale * 2 + divisor) / (divisor * 2);
        if (rounded >= 1000 * scale && u + 1 < units.size()) continue;
        const auto whole = static_cast<unsigned long long>(rounded / scale);
        auto fraction = static_cast<unsigned long long>(rounded % scale);
        std::string text = std::to_string(whole);
        if (fraction != 0) {
            std::string digits = std::to_string(fraction);
            digits.insert(0, static_cast<std::size_t>(decimals) - digits.size(), '0');
            while (!digits.empty() && digits.back() == '0') digits.pop_back();
            text += "." + digits;
        }
        return sign + text + " " + units[u];
    }
    return sign + "0 KB"; // not reached: the last unit always answers
}

} // namespace quillon::platform
