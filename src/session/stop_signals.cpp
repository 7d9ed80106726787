// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/stop_signals.h"

#include <QObject>
#include <atomic>
#include <cstdlib>

#if defined(Q_OS_WIN)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <QWinEventNotifier>
#else
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>
#endif

namespace ondo {

namespace {

std::atomic<bool> quitOnSecond{false};
std::atomic<bool> requested{false};

// Only async-signal-safe work in the handlers: with SecondStop::QuitAtOnce a second request ends
// the process at once, even while the event loop is busy and has not yet seen the first.
void quitIfRepeated() {
    if (requested.exchange(true) && quitOnSecond.load()) std::_Exit(130);
}

#if defined(Q_OS_WIN)

// Set by the console's handler thread, waited for on the owner's thread.
HANDLE stopEvent = nullptr;

BOOL WINAPI onConsoleEvent(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;  // the system's default
    quitIfRepeated();
    ::SetEvent(stopEvent);
    return TRUE;
}

QObject* watch(QObject& owner) {
    if (!stopEvent) stopEvent = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!stopEvent || !::SetConsoleCtrlHandler(onConsoleEvent, TRUE)) return nullptr;
    return new QWinEventNotifier(stopEvent, &owner);
}

template <typename Action>
void connectWake(QObject* notifier, QObject& owner, Action action) {
    QObject::connect(static_cast<QWinEventNotifier*>(notifier), &QWinEventNotifier::activated,
                     &owner, action);
}

#else

int signalPipe[2] = {-1, -1};

extern "C" void onStopSignal(int) {
    quitIfRepeated();
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}

QObject* watch(QObject& owner) {
    if (signalPipe[0] < 0 && pipe(signalPipe) != 0) return nullptr;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &owner);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return notifier;
}

template <typename Action>
void connectWake(QObject* notifier, QObject& owner, Action action) {
    QObject::connect(static_cast<QSocketNotifier*>(notifier), &QSocketNotifier::activated, &owner,
                     [action] {
                         char byte = 0;
                         [[maybe_unused]] const ssize_t got = read(signalPipe[0], &byte, 1);
                         action();
                     });
}

#endif

}  // namespace

void onStopSignals(QObject& owner, std::function<void()> action, SecondStop second) {
    quitOnSecond = second == SecondStop::QuitAtOnce;
    requested = false;
    QObject* notifier = watch(owner);
    if (!notifier) return;
    connectWake(notifier, owner, std::move(action));
}

}  // namespace ondo
