#include "link/hex.h"

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

namespace {
std::string upperHex(std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    do {
        out.insert(out.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return out;
}
}  // namespace

std::string HexByte(int byte) {
    std::string text = upperHex(static_cast<std::uint32_t>(byte) & 0xFF);
    if (text.size() < 2) text.insert(0, 1, '0');
    return text;
}

std::string HexWord(int value) {
    std::string text = upperHex(static_cast<std::uint32_t>(value));
    if (text.size() < 4) text.insert(0, 4 - text.size(), '0');
    return text;
}

}  // namespace ondo
