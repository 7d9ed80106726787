// ondo-flash: the window, or with a command word (flash, check, ports) the command-line mode.
//   ondo-flash [--demo [--sim-args OPTIONS]]

#include <QApplication>
#include <QCommandLineParser>
#include <QTemporaryDir>
#include <iostream>
#include <memory>
#include <string>

#include "app/cli.h"
#include "app/demo_unit.h"
#include "app/form1.h"
#include "app/stop_signals.h"
#include "core/settings.h"
#include "link/qtwaiter.h"
#include "link/sio.h"

namespace {

// The serial library asks which device stands for library port n, that is COM(n + 1).
std::string portDevice(int port, void* context) {
    return static_cast<const ondo::Settings*>(context)->portDevice(port + 1);
}

// The demo runs on a store of its own, so the user's settings stay as they are. That store
// remembers COM1, which stands for the simulated unit, and the sample firmware file; the rescue
// box's OK powers the simulated unit up with its jumper fitted.
struct Demo {
    explicit Demo(const QStringList& simArgs) : unit(simArgs) {}

    std::unique_ptr<ondo::Settings> store() {
        auto settings = std::make_unique<ondo::Settings>(dir.filePath("FLASH.ini").toStdString());
        settings->overridePort(1, unit.devicePath());
        settings->saveKeySetting("port", "COM1");
        settings->saveKeySetting("flashFile", ondo::DemoUnit::sampleFile().toStdString());
        return settings;
    }
    ondo::app::AskFunction ask() {
        return [this](QWidget* parent, const ondo::MessageBox& box) {
            const ondo::Answer answer = ondo::app::showMessageBox(parent, box);
            if (box.buttons == ondo::Buttons::OkCancel && answer == ondo::Answer::Ok &&
                box.title.rfind("Rescue", 0) == 0)
                unit.control("rescue");
            return answer;
        };
    }

    ondo::DemoUnit unit;
    QTemporaryDir dir;
};

int runWindow(Demo* demo) {
    const auto settings = demo ? demo->store() : std::make_unique<ondo::Settings>();
    const auto serial = sio::makePlatformLibrary(portDevice, settings.get());
    ondo::QtWaiter waiter;
    ondo::app::Form1::Services services{*settings, *serial, waiter};
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
    Demo demo(parser.value("sim-args").split(' ', Qt::SkipEmptyParts));
    if (!demo.unit.started()) {
        std::cerr << demo.unit.error().toStdString() << "\n";
        return ondo::kExitPortNotOpen;
    }
    return runWindow(&demo);
}

}  // namespace

int main(int argc, char** argv) {
    if (ondo::isCommandLine(argc, argv)) return ondo::runCommandLine(argc, argv);
    return runApplication(argc, argv);
}
