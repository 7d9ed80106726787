// The port list, opening a port and greeting the unit.

#include <string>
#include <vector>

#include "core/messages.h"
#include "core/settings.h"
#include "link/link.h"
#include "protocol/monitor.h"

namespace ondo {

namespace {
constexpr int kProbeQueue = 2;
constexpr int kRxQueue = 8192;
constexpr int kTxQueue = 256;
constexpr int kPortsProbed = 9;  // COM1 to COM9
constexpr int kNoParity = 0;
constexpr int kOneStopBit = 0;
constexpr int kEightBits = 8;
constexpr int kSpeed19200 = 6;
constexpr int kErrorTextLength = 128;
}  // namespace

void Link::cboPort_GotFocus() {
    if (refuseWhileBusy()) return;
    face_.portListClear();
    closePort();
    face_.setIndicator(Indicator::Neutral);
    const std::string remembered = remembered_ ? remembered_() : std::string();
    std::vector<std::string> entries;
    for (int number = 0; number < kPortsProbed; ++number) {
        const sio::Result result = lib_.SioReset(number, kProbeQueue, kProbeQueue);
        keepResult(result);
        if (result < 0) continue;
        lib_.SioDone(number);
        const std::string name = "COM" + std::to_string(number + 1);
        face_.portListAdd(name);
        entries.push_back(name);
        if (!remembered.empty() && remembered == name) {
            face_.portListSelect(name);
            cboPort_Click();
        }
    }
    if (entries.empty()) {
        msgError(face_, "No COM port available");
    } else if (entries.size() == 1) {
        msgStatus(face_, "Only " + entries.front() + " available");
        face_.portListSelect(entries.front());
        cboPort_Click();
    }
}

void Link::cboPort_Click() {
    if (refuseWhileBusy()) return;
    face_.setIndicator(Indicator::Neutral);
    PortName = face_.portListText();
    if (PortName.empty()) return;
    openPort(PortName);
    face_.setIndicator(TimedOut ? Indicator::Red : Indicator::Green);
}

bool Link::openPort(const std::string& name) {
    closePort();
    face_.paneClear();
    PortOpen = false;
    PortNumber = readNumber(name.size() > 3 ? std::string_view(name).substr(3) : "") - 1;
    const sio::Result result = lib_.SioReset(PortNumber, kRxQueue, kTxQueue);
    keepResult(result);
    if (result >= 0) {
        msg(face_, "Opened " + name);
        PortOpen = true;
        LineLost = false;
    } else {
        msgError(face_, "Could NOT Open " + name + ", error" + std::to_string(result));
        if (result == sio::kOsError) {
            char buffer[kErrorTextLength] = {};
            keepResult(lib_.SioWinError(buffer, kErrorTextLength));
            ErrorText = buffer;
            msgError(face_, ErrorText);
        }
    }
    setPort();
    if (PortOpen) msgStatus(face_, "Opened " + name);
    TxCommand(monitor::stopReadings());
    GetParameter();
    GetVersion();
    return true;
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
