#pragma once
// The command-line mode of the same executable: `flash`, `read-ee`, `check` and `ports`, run on the
// same engine as the window, with no window.

namespace ondo {

// Exit status of the command-line mode.
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

// True when argv names a command of the command-line mode.
bool isCommandLine(int argc, char** argv);
// Runs that command and returns the exit status.
int runCommandLine(int argc, char** argv);

}  // namespace ondo
