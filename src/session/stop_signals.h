// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Interrupt and terminate requests (Ctrl-C in the terminal or console that started the program,
// a kill, Ctrl-Break) reach the program's event loop as an ordinary call, on both platforms: on
// POSIX systems SIGINT and SIGTERM, on Windows the console's Ctrl-C and Ctrl-Break events. The
// handler itself only wakes the loop (a byte into a pipe, an event set); the action runs there.

#include <functional>

class QObject;

namespace ondo {

// What a second request does while the program is still at work on the first.
enum class SecondStop {
    Again,       // runs the action again
    QuitAtOnce,  // ends the process at once with status 130, as an unhandled Ctrl-C would
};

// Runs action on owner's thread for each request, for as long as owner lives.
void onStopSignals(QObject& owner, std::function<void()> action,
                   SecondStop second = SecondStop::Again);

}  // namespace ondo
