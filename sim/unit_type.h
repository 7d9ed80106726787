// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The unit types the bootloader can announce: its identification text and the geometry that
// goes with it (flash pages, EEPROM size, the word that closes a flash exchange).

#include <cstdint>
#include <string>

namespace sim {

struct UnitType {
    const char* id;  // four characters, sent after ">"
    int pageSize;
    int pageCount;
    int eepromSize;
    std::uint16_t endWord;
};

// The type with this identification (exact, case-sensitive), or nullptr.
const UnitType* findUnitType(const std::string& id);

}  // namespace sim
