// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/monitor.h"

#include "core/hex.h"

namespace ondo::monitor {

namespace {
constexpr std::size_t kParameterLength = 4;
constexpr std::size_t kReadAnswerDigits = 4;
}  // namespace

std::string stopReadings() {
    return "tf";
}

std::string startReadings() {
    return "t1";
}

std::string mode0() {
    return "m0";
}

std::string mode1() {
    return "m1";
}

std::string version() {
    return "v";
}

std::string enterBootloader(const std::string& versionText) {
    return "b" + versionText;
}

std::string writeByte(int address, int byte) {
    return "e" + addressText(address) + byteText(byte);
}

std::string readByte(int address) {
    return "a" + addressText(address);
}

std::string addressText(int address) {
    return HexWord(address);
}

std::string byteText(int byte) {
    return HexByte(byte);
}

std::string readAnswer(int byte) {
    return HexWord(byte);
}

std::optional<int> byteOfReadAnswer(std::string_view parameter) {
    const int value = HexVal(parameter);
    if (parameter.size() != kReadAnswerDigits || value < 0 || value > 0xFF) return std::nullopt;
    return value;
}

std::string parameter(std::string_view reply) {
    const std::size_t blank = reply.find(' ');
    const std::size_t start = blank == std::string::npos ? 0 : blank + 1;
    if (start >= reply.size()) return {};
    return std::string(reply.substr(start, kParameterLength));
}

}  // namespace ondo::monitor
