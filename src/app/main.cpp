// ondo-flash: the window, or with a command word (flash, check, ports) the command-line mode.

#include <QApplication>
#include <string>

#include "app/cli.h"
#include "app/form1.h"
#include "core/settings.h"
#include "link/qtwaiter.h"
#include "link/sio.h"

namespace {

// The serial library asks which device stands for library port n, that is COM(n + 1).
std::string portDevice(int port, void* context) {
    return static_cast<const ondo::Settings*>(context)->portDevice(port + 1);
}

int runWindow(int argc, char** argv) {
    QApplication app(argc, argv);
    // The window says when the loop may end: only once no Start run is left under way.
    QApplication::setQuitOnLastWindowClosed(false);
    ondo::Settings settings;
    const auto serial = sio::makePlatformLibrary(portDevice, &settings);
    ondo::QtWaiter waiter;
    ondo::app::Form1 form({settings, *serial, waiter});
    QObject::connect(&form, &ondo::app::Form1::unloaded, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    form.Form_Load();
    form.show();
    const int status = QApplication::exec();
    form.Form_Terminate();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (ondo::isCommandLine(argc, argv)) return ondo::runCommandLine(argc, argv);
    return runWindow(argc, argv);
}
