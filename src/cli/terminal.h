// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the command-line mode's standard streams are connected to: a terminal on POSIX systems,
// a console on Windows, or a file or pipe.

namespace ondo {

// True when questions can be asked on standard input.
bool inputIsTerminal();
// True when standard error is a terminal that can redraw a progress line in place (carriage
// return and the erase-line control sequence). On Windows the console is switched to take
// that sequence; a console too old to take it gets plain lines.
bool errorTakesProgressLine();
// The width of the terminal standard error is on, in characters; 0 when it is none or unknown.
int errorColumns();

}  // namespace ondo
