// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The running firmware's monitor: text commands, each ended by a carriage return, answered by a
// line "X param" (a capital letter, a blank, the parameter) between line feeds. Every command
// text and every field format of the monitor is written here once; the link sends and receives.

#include <optional>
#include <string>
#include <string_view>

namespace ondo::monitor {

inline constexpr char kCommandEnd = '\r';  // ends every command
inline constexpr char kReplyBreak = '\n';  // a reply runs from one line feed to the next

// "tf": the unit stops streaming readings (answered "T 0"); also the greeting of a port opened.
std::string stopReadings();
// "t1": the unit streams readings again (answered "T 1").
std::string startReadings();
// "m0": sent before the version query and before the EEPROM update (answered "M 0").
std::string mode0();
// "m1": sent at the end of a run, with "t1", to leave the unit as it runs (answered "M 1").
std::string mode1();
// "v": the firmware version, answered "V " and four hex digits.
std::string version();
// "b" and the version text, without a blank: the firmware hands over to its bootloader.
std::string enterBootloader(const std::string& versionText);
// "e", the address, the byte: writes one EEPROM byte, confirmed by a reply holding the address.
std::string writeByte(int address, int byte);
// "a" and the address: reads one EEPROM byte, answered with the byte as four hex digits.
std::string readByte(int address);

// The address as the EEPROM commands carry it and the write confirms it: four hex digits.
std::string addressText(int address);
// The byte as the write command carries it: two hex digits.
std::string byteText(int byte);
// The byte as a read answers it: four hex digits, leading zeros.
std::string readAnswer(int byte);
// The byte a read's parameter holds, if it is exactly four upper-case hex digits of 00 to FF.
std::optional<int> byteOfReadAnswer(std::string_view parameter);

// The reply's parameter: up to four characters after its first blank (from the start when it
// has none); empty when nothing follows the blank.
std::string parameter(std::string_view reply);

}  // namespace ondo::monitor
