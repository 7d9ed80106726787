// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The firmware image: what a firmware file carries for the code flash and the EEPROM.

#include <array>
#include <cstdint>

namespace ondo {

inline constexpr int kFlashImageSize = 32769;  // code-flash addresses 0 to 32768
inline constexpr int kEEImageSize = 4097;      // EEPROM addresses 0 to 4096

struct FirmwareImage {
    // Zero when created, never cleared; a read writes only the addresses its records carry.
    std::array<std::uint8_t, kFlashImageSize> FlashImage{};
    std::array<std::uint8_t, kEEImageSize> EEimage{};
    // True only after a read that ran to the end of its file without an error.
    bool FlashFileValid = false;
};

}  // namespace ondo
