#include "app/stop_signals.h"

#include <QWidget>

#if defined(Q_OS_UNIX)

#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

namespace ondo::app {

namespace {
int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: one byte into the pipe, read on the window's thread.
extern "C" void onStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}
}  // namespace

void closeOnStopSignals(QWidget& window) {
    if (signalPipe[0] < 0 && pipe(signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = read(signalPipe[0], &byte, 1);
        window.close();
    });
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace ondo::app

#else

namespace ondo::app {

void closeOnStopSignals(QWidget&) {}

}  // namespace ondo::app

#endif
