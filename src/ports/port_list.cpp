// SPDX-License-Identifier: GPL-3.0-or-later
// The port list, opening a port by its name and greeting the unit.

#include "ports/port_list.h"

#include <string_view>
#include <vector>

#include "core/messages.h"
#include "core/settings.h"
#include "protocol/monitor.h"

namespace ondo {

namespace {

constexpr int kProbeQueue = 2;  // bytes each way: enough to learn whether the port opens

// The library number of a port name: the number read from its fourth character on, minus 1.
int portNumber(const std::string& name) {
    return readNumber(name.size() > 3 ? std::string_view(name).substr(3) : "") - 1;
}

// The firmware is sent "tf", whose reply is read and dropped, then asked its version, which the
// version label shows. Sent even when the port did not open (the link then sends nothing).
void greet(Link& link) {
    link.TxCommand(monitor::stopReadings());
    link.GetParameter();
    link.GetVersion();
}

void openAndGreet(Link& link, Face& face, const std::string& name) {
    const int result = link.openPort(portNumber(name));
    if (result >= 0) {
        msg(face, "Opened " + name);
        msgStatus(face, "Opened " + name);  // the status line ends in the status colour
    } else {
        msgError(face, "Could NOT Open " + name + ", error" + std::to_string(result));
        if (result == sio::kOsError) msgError(face, link.ErrorText);
    }
    greet(link);
}

}  // namespace

std::string comName(int number) {
    return "COM" + std::to_string(number + 1);
}

PortProbe probePort(sio::SerialLibrary& library, int number) {
    PortProbe probe;
    probe.result = library.SioReset(number, kProbeQueue, kProbeQueue);
    if (probe.result >= 0) {
        library.SioDone(number);
    } else if (probe.result == sio::kOsError) {
        probe.errorText = systemErrorText(library);
    }
    return probe;
}

void openNamedPort(Link& link, Face& face, const std::string& name) {
    if (link.refuseWhileBusy()) return;
    face.setIndicator(Indicator::Neutral);
    link.PortName = name;
    if (name.empty()) return;
    openAndGreet(link, face, name);
    face.setIndicator(link.TimedOut ? Indicator::Red : Indicator::Green);
}

PortList::PortList(Link& link, Face& face, PortListView& view, RememberedPort remembered)
    : link_(link), face_(face), view_(view), remembered_(std::move(remembered)) {}

void PortList::rebuild() {
    if (link_.refuseWhileBusy()) return;
    view_.portListClear();
    link_.closePort();
    face_.setIndicator(Indicator::Neutral);
    const std::string remembered = remembered_ ? remembered_() : std::string();
    std::vector<std::string> entries;
    for (int number = 0; number < kPortsProbed; ++number) {
        const PortProbe probe = probePort(link_.library(), number);
        link_.keepResult(probe.result);
        if (probe.result < 0) continue;
        const std::string name = comName(number);
        view_.portListAdd(name);
        entries.push_back(name);
        if (!remembered.empty() && remembered == name) {
            view_.portListSelect(name);
            openSelected();
        }
    }
    if (entries.empty()) {
        msgError(face_, "No COM port available");
    } else if (entries.size() == 1) {
        msgStatus(face_, "Only " + entries.front() + " available");
        view_.portListSelect(entries.front());
        openSelected();
    }
}

void PortList::openSelected() {
    openNamedPort(link_, face_, view_.portListText());
}

}  // namespace ondo
