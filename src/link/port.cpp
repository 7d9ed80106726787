// SPDX-License-Identifier: GPL-3.0-or-later
// One port: opening it by its number for work, its line settings, closing it, and the refusals
// of operations that need it.

#include <string>

#include "core/messages.h"
#include "link/link.h"

namespace ondo {

namespace {
constexpr int kRxQueue = 8192;
constexpr int kTxQueue = 256;
constexpr int kNoParity = 0;
constexpr int kOneStopBit = 0;
constexpr int kEightBits = 8;
constexpr int kSpeed19200 = 6;
constexpr int kErrorTextLength = 128;
}  // namespace

std::string systemErrorText(sio::SerialLibrary& library, int* result) {
    char buffer[kErrorTextLength] = {};
    const int length = library.SioWinError(buffer, kErrorTextLength);
    if (result) *result = length;
    return buffer;
}

int Link::openPort(int number) {
    closePort();
    face_.paneClear();
    PortOpen = false;
    PortNumber = number;
    const sio::Result result = lib_.SioReset(PortNumber, kRxQueue, kTxQueue);
    keepResult(result);
    if (result >= 0) {
        PortOpen = true;
        LineLost = false;
    } else if (result == sio::kOsError) {
        int textResult = 0;
        ErrorText = systemErrorText(lib_, &textResult);
        keepResult(textResult);
    }
    setPort();
    return result;
}

void Link::setPort() {
    keepResult(lib_.SioParms(PortNumber, kNoParity, kOneStopBit, kEightBits));
    keepResult(lib_.SioBaud(PortNumber, kSpeed19200));
}

bool Link::refuseWhileBusy() {
    if (!unitBusy()) return false;
    msgError(face_, kBusyText);
    return true;
}

void Link::openError() {
    msgError(face_, "COM port must be opened first");
}

void Link::closePort() {
    if (!PortOpen) return;
    keepResult(lib_.SioDone(PortNumber));
    PortOpen = false;
}

}  // namespace ondo
