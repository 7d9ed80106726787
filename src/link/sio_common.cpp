// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/sio_common.h"

#include <algorithm>
#include <cstring>

namespace sio {

int speedOfCode(int speedCode) {
    static constexpr std::array<int, 10> kSpeeds{300,  600,   1200,  2400,  4800,
                                                 9600, 19200, 38400, 57600, 115200};
    if (speedCode < 0 || speedCode >= static_cast<int>(kSpeeds.size())) return 0;
    return kSpeeds[static_cast<std::size_t>(speedCode)];
}

Result CommonLibrary::SioParms(int port, int parity, int stopBits, int dataBits) {
    if (!isOpen(port)) return kNotOpen;
    if (parity < 0 || parity > 2 || stopBits < 0 || stopBits > 1 || dataBits < 5 || dataBits > 8)
        return kBadArgument;
    LineSettings line = lines_[static_cast<std::size_t>(port)];
    line.parity = parity;
    line.stopBits = stopBits;
    line.dataBits = dataBits;
    return changeLine(port, line);
}

Result CommonLibrary::SioBaud(int port, int speedCode) {
    if (!isOpen(port)) return kNotOpen;
    const int speed = speedOfCode(speedCode);
    if (speed == 0) return kBadArgument;
    LineSettings line = lines_[static_cast<std::size_t>(port)];
    line.bitsPerSecond = speed;
    return changeLine(port, line);
}

// The settings are kept only once the system took them, so a refusal leaves them as they were.
Result CommonLibrary::changeLine(int port, const LineSettings& line) {
    const Result result = applyLine(port, line);
    if (result == kOk) lines_[static_cast<std::size_t>(port)] = line;
    return result;
}

int CommonLibrary::SioWinError(char* buffer, int length) {
    if (!buffer || length <= 0) return 0;
    const std::size_t n = std::min(lastError_.size(), static_cast<std::size_t>(length - 1));
    std::memcpy(buffer, lastError_.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

void CommonLibrary::resetLine(int port) {
    if (inRange(port)) lines_[static_cast<std::size_t>(port)] = LineSettings{};
}

Result CommonLibrary::osError(std::string text) {
    lastError_ = std::move(text);
    return kOsError;
}

}  // namespace sio
