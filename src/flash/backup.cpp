// SPDX-License-Identifier: GPL-3.0-or-later
// A backup of the EEPROM through the running firmware, before an update overwrites it: the
// version query, then every address read as the read-back pass reads it.

#include "core/messages.h"
#include "flash/sequence.h"
#include "protocol/monitor.h"

namespace ondo {

namespace {
constexpr int kLogLineLength = 8;  // as the EEPROM passes log: a line per eight addresses
const char* const kLineEnd = "\r\n";
}  // namespace

BackupOutcome FlashSequence::BackupEE(int size, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (!link_.PortOpen) {
        link_.openError();
        return BackupOutcome::PortClosed;
    }
    Flashing = true;  // the console stays quiet while the backup owns the line
    report(Phase::EepromRead, 0, size);
    if (askVersion() == 0) {
        Flashing = false;
        msgError(face_, "No answer from the unit's firmware: no EEPROM backup");
        return BackupOutcome::NoUnit;
    }
    face_.logReplace("Reading " + std::to_string(size) + " bytes of EE Prom." + kLineEnd);
    msg(face_, "Reading the EEPROM ...");
    link_.AbortRequested = false;
    face_.setAbortEnabled(true);
    for (int address = 0; address < size; ++address) {
        report(Phase::EepromRead, address, size);
        if (link_.AbortRequested) {
            restButtons();
            msgError(face_, "EEPROM backup aborted");
            return BackupOutcome::Aborted;
        }
        if (!ReadEE(address)) {
            restButtons();
            msgError(face_, link_.LineLost ? lostText() + " while reading the EEPROM"
                                           : "EEPROM read failed at address " + EEaddr +
                                                 ", reply = " + EEresponse);
            return BackupOutcome::ReadFailed;
        }
        bytes.push_back(static_cast<std::uint8_t>(monitor::byteOfReadAnswer(EEdata).value_or(0)));
        face_.scrollText(EEdata + (address % kLogLineLength == 0 ? kLineEnd : "."));
    }
    report(Phase::EepromRead, size, size);
    face_.scrollText(kLineEnd);
    link_.TxCommand(monitor::mode1());
    link_.GetResponse();
    link_.TxCommand(monitor::startReadings());
    link_.GetResponse();
    restButtons();
    return BackupOutcome::Complete;
}

}  // namespace ondo
