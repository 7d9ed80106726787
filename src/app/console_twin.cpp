// SPDX-License-Identifier: GPL-3.0-or-later
// The window face of ondo-flash.com, the console twin of ondo-flash.exe on Windows. A shell finds
// the .com first, so that a command typed in cmd.exe or PowerShell runs in the console, prints
// there and leaves its exit status; without a command the window is wanted, and that is the
// .exe beside it, started on its own so that the shell gets its prompt back at once.

#include <QCoreApplication>
#include <QProcess>
#include <iostream>

#include "app/window_face.h"
#include "session/demo_unit.h"
#include "session/exit_status.h"

namespace ondo {

int runWindowFace(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    if (const std::string why = demoUnavailable(); args.contains("--demo") && !why.empty()) {
        std::cerr << why << '\n';
        return kExitUsage;
    }
    const QString window = QCoreApplication::applicationDirPath() + "/ondo-flash.exe";
    if (!QProcess::startDetached(window, args)) {
        std::cerr << "Cannot start the window, " << window.toStdString() << '\n';
        return kExitUsage;
    }
    return kExitOk;
}

}  // namespace ondo
