// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window face as main() starts it: the window itself, or, in a build without the window
// (ONDO_BUILD_GUI=OFF), a refusal that says where the command-line mode's help is.

namespace ondo {

// Runs the window with the program's arguments; returns the exit status.
int runWindowFace(int argc, char** argv);

}  // namespace ondo
