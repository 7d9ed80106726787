// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one firmware-file writer of the tests: records as a release tool writes them.

#include <cstdint>
#include <string>
#include <vector>

namespace ondo::testing {

// One HXF record line without its line end: kind, ":", count, address, type, data, checksum
// (the two's complement of the low byte of the sum of every byte before it).
inline std::string hxfRecord(char kind, int address, const std::vector<int>& bytes, int type = 0) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string line{kind, ':'};
    int sum = 0;
    auto put = [&](int byte) {
        line += kDigits[(byte >> 4) & 0xF];
        line += kDigits[byte & 0xF];
        sum += byte;
    };
    put(static_cast<int>(bytes.size()));
    put((address >> 8) & 0xFF);
    put(address & 0xFF);
    put(type);
    for (int b : bytes) put(b & 0xFF);
    put((0x100 - (sum & 0xFF)) & 0xFF);
    return line;
}

// A whole file: a comment, the code bytes from address 0 and the EEPROM bytes from address 0,
// sixteen to a record, CR LF line ends.
inline std::string hxfFile(const std::vector<std::uint8_t>& flash,
                           const std::vector<std::uint8_t>& eeprom) {
    std::string text = "! made by the tests\r\n";
    for (char kind : {'C', 'E'}) {
        const auto& bytes = kind == 'C' ? flash : eeprom;
        for (std::size_t a = 0; a < bytes.size(); a += 16) {
            std::vector<int> data(bytes.begin() + a,
                                  bytes.begin() + std::min(a + 16, bytes.size()));
            text += hxfRecord(kind, static_cast<int>(a), data) + "\r\n";
        }
    }
    return text;
}

}  // namespace ondo::testing
