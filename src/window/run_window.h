// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window as the program's face: the application object, Form1 on the user's settings store
// (or, with --demo, on the demo's session) and the event loop until the window has closed.

class QWidget;

namespace ondo::window {

// ondo-flash [--demo [--sim-args OPTIONS]]: runs the window and returns the exit status.
int runWindow(int argc, char** argv);

// A stop signal (Ctrl-C in the terminal that started the window, a kill) becomes a close request
// of the window, as if the user had closed it: the settings are written, the port is released
// and a demo's simulated unit is stopped. Once an update has reached the bootloader the close is
// refused and acts as Abort, as a user's close does; the window then stays open to show the
// outcome.
void closeOnStopSignals(QWidget& window);

}  // namespace ondo::window
