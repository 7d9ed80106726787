// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading the firmware file into the image, and showing its raw text, with every message the
// user sees along the way. The parsing itself is in hxf.h; this part opens the file, streams it
// through the parser in bounded memory and reports through the engine's face.

#include <cstdint>
#include <filesystem>
#include <istream>
#include <string>

#include "core/face.h"
#include "firmware/image.h"

namespace ondo {

// Real firmware files are far smaller: a full image of 32 KiB of code and 4 KiB of EEPROM in
// records of 16 bytes takes about 100 KB of text, and even one byte a record stays under 600 KB.
// A larger file is not a firmware file; it is refused up front (and if it grows while being
// read, the read stops there), so no file can make the reader or the log take unbounded memory
// or time. The same limit keeps viewing a file from loading a huge text into the log.
inline constexpr std::uintmax_t kMaxFlashFileBytes = 1024 * 1024;

// A file name as the system opens it: taken as UTF-8 when it decodes as such (plain ASCII
// included, and every name the window and the command line give on Windows, where it becomes
// the wide name), any other in the system's own narrow encoding. On POSIX the bytes stay as they
// are.
std::filesystem::path fileSystemPath(const std::string& name);

// Reads the firmware file `name` into `image`: FlashFileValid becomes True only when the whole
// file was read without error. The log gets the blank-line notices and a summary, the status
// line the outcome. While a flash run programs the unit from the image (`flashing`), the read
// is refused and neither the image nor FlashFileValid change.
void readFlashFile(Face& face, FirmwareImage& image, const std::string& name, bool flashing);

// The part of readFlashFile after the file is opened: reads `in` as the file `name`. A stream
// that failed to open is reported as a file that cannot be opened.
void readFlashStream(Face& face, FirmwareImage& image, const std::string& name, std::istream& in);

// Shows the raw text of the file `name` in the log, each line followed by CR LF. Reads nothing
// into the image and leaves FlashFileValid and the error label as they are.
void viewFlashFile(Face& face, const std::string& name);

// The part of viewFlashFile after the file is opened.
void viewFlashStream(Face& face, const std::string& name, std::istream& in);

}  // namespace ondo
