// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/hex.h"

#include <cstdint>

namespace ondo {

int HexVal(std::string_view text) {
    std::int64_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return -1;
        }
        // Callers pass at most a few digits; keep longer texts from overflowing all the same.
        value = (value * 16 + digit) & 0x7FFFFFFF;
    }
    return static_cast<int>(value);
}

std::string hexNoZeros(std::int32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    auto bits = static_cast<std::uint32_t>(value);
    std::string out;
    do {
        out.insert(out.begin(), kDigits[bits & 0xF]);
        bits >>= 4;
    } while (bits != 0);
    return out;
}

std::string HexByte(int byte) {
    std::string text = hexNoZeros(byte & 0xFF);
    if (text.size() < 2) text.insert(0, 1, '0');
    return text;
}

std::string HexWord(int value) {
    std::string text = hexNoZeros(value);
    if (text.size() < 4) text.insert(0, 4 - text.size(), '0');
    return text;
}

}  // namespace ondo
