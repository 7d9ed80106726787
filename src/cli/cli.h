// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command-line mode of the same executable: `flash`, `read-ee`, `station`, `probe`, `check`
// and `ports`, run on the same engine as the window, with no window.

#include "session/exit_status.h"

namespace ondo {

// True when argv names a command of the command-line mode.
bool isCommandLine(int argc, char** argv);
// Runs that command and returns the exit status.
int runCommandLine(int argc, char** argv);

}  // namespace ondo
