// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The unit's own EEPROM kept in a file: read-ee, and the backup that flash --backup-ee makes
// before an update.

#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

namespace ondo {

class Face;
class FlashSequence;

// The EEPROM size --ee-size names: 512, 1024 or 2048, or a unit type's identification (AlaR,
// NmaS, BmaS: 512; EnbS: 1024; XobS: 2048). 0 when the text names none.
int eeSizeArgument(const QString& text);

// Reads `size` EEPROM bytes with the running firmware and writes them to `path` as an HXF file
// of EEPROM records. The file is written under a temporary name and renamed only once every
// address was read and the whole file written, so a backup that failed never looks complete
// (and an older file of that name stays as it was). Returns the command line's exit status.
int backupEeprom(FlashSequence& sequence, Face& face, int size, const std::string& path);

// ondo-flash read-ee: parses its arguments and runs the backup on its own.
int runReadEe(const QStringList& args);

}  // namespace ondo
