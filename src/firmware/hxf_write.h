// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writing HXF text: the EEPROM backup as a firmware file the reader takes back.

#include <cstdint>
#include <string>
#include <vector>

namespace ondo {

// An HXF text that holds only EEPROM records: each comment as a "!" line, then `bytes` from
// address 0 in records of up to 16 bytes ("E:", count, address, type 00, data, checksum), every
// line ended with CR LF. The reader takes it back into EEimage byte for byte.
std::string hxfEepromText(const std::vector<std::uint8_t>& bytes,
                          const std::vector<std::string>& comments);

}  // namespace ondo
