// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's exit status, the same from both faces: the command line's outcomes, and the
// window's refusals at start (bad arguments, a demo whose simulated unit could not start).

namespace ondo {

enum ExitCode {
    kExitOk = 0,                // every step of the chosen update ran, acknowledged and verified
    kExitUsage = 2,             // bad arguments
    kExitNoFirmware = 3,        // no valid firmware file
    kExitPortNotOpen = 4,       // the port could not be opened
    kExitNoUnit = 5,            // the unit's firmware did not answer, or needs the rescue option
    kExitNoBootloader = 6,      // the bootloader did not identify itself
    kExitFlashFailed = 7,       // a page kept failing, the run was aborted, the unit vanished or
                                // did not answer after its restart
    kExitEepromIncomplete = 8,  // an EEPROM address could not be written or verified
    kExitCancelled = 9,         // the user (or the lack of one) answered Cancel
    kExitBackupFailed = 10,     // an EEPROM address could not be read for the backup (read-ee,
                                // flash --backup-ee: then nothing went to the bootloader)
};

}  // namespace ondo
