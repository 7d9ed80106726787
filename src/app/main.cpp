// SPDX-License-Identifier: GPL-3.0-or-later
// ondo-flash: the window, or with a command word (flash, read-ee, station, probe, check, ports)
// or --version the command-line mode.
//   ondo-flash [--demo [--sim-args OPTIONS]]

#include "app/window_face.h"
#include "cli/cli.h"

int main(int argc, char** argv) {
    if (ondo::isCommandLine(argc, argv)) return ondo::runCommandLine(argc, argv);
    return ondo::runWindowFace(argc, argv);
}
