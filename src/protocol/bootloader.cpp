// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/bootloader.h"

namespace ondo {

namespace {
constexpr std::array<UnitType, 5> kUnitTypes{{
    {"AlaR", 64, 124, 512, 0x03FF},
    {"NmaS", 128, 126, 512, 0xFFFF},
    {"BmaS", 128, 126, 512, 0x03FE},
    {"EnbS", 128, 252, 1024, 0x03FE},
    {"XobS", 256, 252, 2048, 0xFFFF},
}};

constexpr unsigned char kPrompt = '>';
constexpr unsigned char kOpenExchange = '<';
constexpr std::uint8_t kFrameStart = 0x00;
constexpr unsigned char kPageTaken = '!';
constexpr unsigned char kPageRejected = '@';
}  // namespace

const UnitType* findUnitType(std::string_view id) {
    for (const UnitType& type : kUnitTypes) {
        if (type.id == id) return &type;
    }
    return nullptr;
}

namespace bootloader {

bool isPrompt(unsigned char byte) {
    return byte == kPrompt;
}

unsigned char openExchange() {
    return kOpenExchange;
}

std::uint8_t pageChecksum(std::span<const std::uint8_t> data) {
    unsigned sum = 0;
    for (std::uint8_t byte : data) sum += byte;
    return static_cast<std::uint8_t>(sum & 0xFF);
}

std::vector<std::uint8_t> pageFrame(int page, std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> frame;
    frame.reserve(data.size() + 3);
    frame.push_back(kFrameStart);
    frame.push_back(static_cast<std::uint8_t>(page & 0xFF));
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(pageChecksum(data));
    return frame;
}

PageAnswer pageAnswer(unsigned char byte) {
    if (byte == kPageTaken) return PageAnswer::Taken;
    if (byte == kPageRejected) return PageAnswer::Rejected;
    return PageAnswer::Other;
}

std::array<std::uint8_t, 2> endWord(int word) {
    return {static_cast<std::uint8_t>((word >> 8) & 0xFF), static_cast<std::uint8_t>(word & 0xFF)};
}

}  // namespace bootloader
}  // namespace ondo
