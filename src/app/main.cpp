// ondo-flash: the window, or with a command word (flash, check, ports) the command-line mode.
//   ondo-flash [--demo [--sim-args OPTIONS]]

#include <QApplication>
#include <QCommandLineParser>
#include <iostream>
#include <memory>
#include <string>

#include "app/cli.h"
#include "app/demo_unit.h"
#include "app/form1.h"
#include "app/stop_signals.h"
#include "core/settings.h"
#include "link/port_map.h"
#include "link/qtwaiter.h"

namespace {

// The demo runs on a store of its own (see DemoSession), so the user's settings stay as they are.
int runWindow(ondo::DemoSession* demo) {
    const auto own = demo ? nullptr : std::make_unique<ondo::Settings>();
    ondo::Settings& settings = demo ? demo->settings() : *own;
    const auto serial = ondo::makeMappedLibrary(settings);
    ondo::QtWaiter waiter;
    ondo::app::Form1::Services services{settings, *serial, waiter};
    if (demo) services.ask = demo->ask();
    ondo::app::Form1 form(std::move(services));
    // The window says when the loop may end: only once no Start run is left under way.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&form, &ondo::app::Form1::unloaded, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    ondo::app::closeOnStopSignals(form);
    form.Form_Load();
    form.show();
    const int status = QApplication::exec();
    form.Form_Terminate();
    return status;
}

int runApplication(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions(
        {{"demo", "Run against the simulated unit, with a sample firmware file."},
         {"sim-args", "With --demo: options for the simulated unit, in one argument.", "options"}});
    if (!parser.parse(QApplication::arguments())) {
        std::cerr << parser.errorText().toStdString() << "\n";
        return ondo::kExitUsage;
    }
    if (!parser.isSet("demo")) return runWindow(nullptr);
    ondo::DemoSession demo(ondo::DemoUnit::splitOptions(parser.value("sim-args")));
    if (!demo.unit().started()) {
        std::cerr << demo.unit().error().toStdString() << "\n";
        return ondo::kExitPortNotOpen;
    }
    return runWindow(&demo);
}

}  // namespace

int main(int argc, char** argv) {
    if (ondo::isCommandLine(argc, argv)) return ondo::runCommandLine(argc, argv);
    return runApplication(argc, argv);
}
