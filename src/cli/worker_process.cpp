// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/worker_process.h"

#include <QProcess>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace ondo {

#if defined(_WIN32)

void prepareWorker(QProcess& process) {
    process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* arguments) {
        arguments->flags |= CREATE_NEW_PROCESS_GROUP;
    });
}

void interruptWorker(QProcess& process) {
    if (process.processId() > 0)
        ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, static_cast<DWORD>(process.processId()));
}

#else

void prepareWorker(QProcess& process) {
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
}

void interruptWorker(QProcess& process) {
    if (process.processId() > 0) ::kill(static_cast<pid_t>(process.processId()), SIGINT);
}

#endif

}  // namespace ondo
