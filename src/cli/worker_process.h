// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The station's worker processes and the terminal's Ctrl-C. A Ctrl-C at the terminal reaches
// every process of the foreground group (on Windows every process on the console); each worker
// is kept out of it, so that the station alone decides what a Ctrl-C means for the updates
// running, and passes it on when they are to stop.

class QProcess;

namespace ondo {

// Before the worker starts: its own process group (on Windows its own console group).
void prepareWorker(QProcess& process);
// The Ctrl-C the worker would have had from the terminal (on Windows its Ctrl-Break, which the
// command line takes as its Ctrl-C).
void interruptWorker(QProcess& process);

}  // namespace ondo
