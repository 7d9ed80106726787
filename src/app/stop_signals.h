#pragma once
// Interrupt and terminate signals (Ctrl-C in the terminal that started the window, a kill)
// become a close request of the window, as if the user had closed it: the settings are written,
// the port is released and a demo's simulated unit is stopped. While an update owns the unit the
// close waits until the run has returned, as a user's close does.

class QWidget;

namespace ondo::app {

// Watches SIGINT and SIGTERM for as long as the window lives. On Windows the system asks a
// window to close by itself, so there is nothing to watch.
void closeOnStopSignals(QWidget& window);

}  // namespace ondo::app
