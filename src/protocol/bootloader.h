// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bootloader: raw bytes, no echo, no line ends. It announces itself with the prompt and a
// four-character identification that names the unit type; "<" opens the exchange; each page
// goes out as one frame, answered by one byte; the unit type's end word closes the exchange and
// restarts the firmware. Every byte and the frame layout are written here once; the link sends.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace ondo {

// One row of the unit type table: what the bootloader's four-character identification tells
// about the unit's code flash and EEPROM.
struct UnitType {
    std::string_view id;  // compared exactly, case included
    int pageSize;
    int pageCount;
    int eeSize;
    int endWord;  // the two bytes that close the bootloader exchange, high byte first
};

// The row whose identification equals id, or nullptr when none does.
const UnitType* findUnitType(std::string_view id);

namespace bootloader {

inline constexpr int kIdLength = 4;  // characters of the identification after the prompt

// Whether a byte read while the bootloader starts is its prompt ">", which the identification
// follows.
bool isPrompt(unsigned char byte);
// "<": opens the exchange; its one-byte answer carries nothing.
unsigned char openExchange();
// One page frame: the frame-start byte 0x00, the page number's low byte, the page's bytes, and
// the checksum.
std::vector<std::uint8_t> pageFrame(int page, std::span<const std::uint8_t> data);
// The frame's checksum: the low byte of the sum of the page's bytes.
std::uint8_t pageChecksum(std::span<const std::uint8_t> data);

// What the one byte that answers a page frame says.
enum class PageAnswer {
    Taken,     // "!": the page is programmed
    Rejected,  // "@": programming the page failed
    Other,     // anything else (a garbled byte, a time-out's stale byte)
};
PageAnswer pageAnswer(unsigned char byte);

// The two bytes that close the exchange, high byte first.
std::array<std::uint8_t, 2> endWord(int word);

}  // namespace bootloader
}  // namespace ondo
