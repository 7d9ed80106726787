// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/run_window.h"

#include <QApplication>
#include <QCommandLineParser>
#include <iostream>
#include <memory>

#include "core/settings.h"
#include "link/port_map.h"
#include "link/qtwaiter.h"
#include "session/demo_unit.h"
#include "session/exit_status.h"
#include "session/stop_signals.h"
#include "window/form1.h"

namespace ondo::window {

namespace {

// The demo runs on a store of its own (see DemoSession), so the user's settings stay as they are;
// OK in its rescue box powers the simulated unit up with its jumper fitted.
int runForm(DemoSession* demo) {
    const auto own = demo ? nullptr : std::make_unique<Settings>();
    Settings& settings = demo ? demo->settings() : *own;
    const auto serial = makeMappedLibrary(settings);
    QtWaiter waiter;
    Form1::Services services{settings, *serial, waiter};
    if (demo) {
        services.ask = [demo](QWidget* parent, const MessageBox& box) {
            const Answer answer = showMessageBox(parent, box);
            demo->unit().answered(box, answer);
            return answer;
        };
    }
    Form1 form(std::move(services));
    // The window says when the loop may end: only once no Start run is left under way.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&form, &Form1::unloaded, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    closeOnStopSignals(form);
    form.Form_Load();
    form.show();
    const int status = QApplication::exec();
    form.Form_Terminate();
    return status;
}

}  // namespace

int runWindow(int argc, char** argv) {
    QApplication app(argc, argv);
    // The desktop matches the window with its desktop entry and icon by this id (on Wayland the
    // window's app id).
    QApplication::setDesktopFileName(QStringLiteral(ONDO_APP_ID));
    QCommandLineParser parser;
    parser.addOptions(
        {{"demo", "Run against the simulated unit, with a sample firmware file."},
         {"sim-args", "With --demo: options for the simulated unit, in one argument.", "options"}});
    if (!parser.parse(QApplication::arguments())) {
        std::cerr << parser.errorText().toStdString() << "\n";
        return kExitUsage;
    }
    if (!parser.isSet("demo")) return runForm(nullptr);
    if (const std::string why = demoUnavailable(); !why.empty()) {
        std::cerr << why << "\n";
        return kExitUsage;
    }
    DemoSession demo(DemoUnit::splitOptions(parser.value("sim-args")));
    if (!demo.unit().started()) {
        std::cerr << demo.unit().error().toStdString() << "\n";
        return kExitPortNotOpen;
    }
    return runForm(&demo);
}

void closeOnStopSignals(QWidget& window) {
    onStopSignals(window, [&window] { window.close(); });
}

}  // namespace ondo::window
