#pragma once
// Interrupt and terminate requests (Ctrl-C in the terminal or console that started the program,
// a kill, Ctrl-Break) reach the program's event loop as an ordinary call, on both platforms: on
// POSIX systems SIGINT and SIGTERM, on Windows the console's Ctrl-C and Ctrl-Break events. The
// handler itself only wakes the loop (a byte into a pipe, an event set); the action runs there.

#include <functional>

class QObject;
class QWidget;

namespace ondo::app {

// What a second request does while the program is still at work on the first.
enum class SecondStop {
    Again,       // runs the action again
    QuitAtOnce,  // ends the process at once with status 130, as an unhandled Ctrl-C would
};

// Runs action on owner's thread for each request, for as long as owner lives.
void onStopSignals(QObject& owner, std::function<void()> action,
                   SecondStop second = SecondStop::Again);

// The window's use: a request becomes a close request of the window, as if the user had closed
// it: the settings are written, the port is released and a demo's simulated unit is stopped.
// While an update owns the unit the close waits until the run has returned, as a user's close
// does.
void closeOnStopSignals(QWidget& window);

}  // namespace ondo::app
