// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Hexadecimal texts as the unit and the firmware file use them: upper case, fixed width.

#include <cstdint>
#include <string>
#include <string_view>

namespace ondo {

// Upper-case hex text to number: 0 for empty text, -1 as soon as any character is not 0-9 or
// A-F (lower-case letters, blanks, CR and LF included).
int HexVal(std::string_view text);
// Upper-case digits without leading zeros ("5", "AB"); negative numbers give their 32-bit
// two's complement ("FFFFFFFF" for -1), as the checksum message shows them.
std::string hexNoZeros(std::int32_t value);
// Two upper-case digits, 00 to FF.
std::string HexByte(int byte);
// Upper-case digits, at least four; negative numbers give the eight-digit two's complement.
std::string HexWord(int value);

}  // namespace ondo
