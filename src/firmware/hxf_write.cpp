// SPDX-License-Identifier: GPL-3.0-or-later
#include "firmware/hxf_write.h"

#include <algorithm>

#include "core/hex.h"

namespace ondo {

std::string hxfEepromText(const std::vector<std::uint8_t>& bytes,
                          const std::vector<std::string>& comments) {
    constexpr std::size_t kRecordBytes = 16;
    const char* const lineEnd = "\r\n";
    std::string text;
    for (const std::string& comment : comments) text += "! " + comment + lineEnd;
    for (std::size_t at = 0; at < bytes.size(); at += kRecordBytes) {
        const std::size_t n = std::min(kRecordBytes, bytes.size() - at);
        unsigned sum = static_cast<unsigned>(n + (at >> 8) + (at & 0xFF));
        std::string line =
            "E:" + HexByte(static_cast<int>(n)) + HexWord(static_cast<int>(at)) + "00";
        for (std::size_t k = 0; k < n; ++k) {
            line += HexByte(bytes[at + k]);
            sum += bytes[at + k];
        }
        text += line + HexByte(static_cast<int>((0x100 - (sum & 0xFF)) & 0xFF)) + lineEnd;
    }
    return text;
}

}  // namespace ondo
