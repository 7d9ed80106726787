// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The port list: the probe of COM1 to COM9, the list built from it, opening the chosen or the
// remembered port with its status texts, and the greeting that follows every opening. It sits
// on the link, which keeps the port's own I/O (a port number opened and closed, the line
// settings, sends, receives and waits); the list is shown through a PortListView.

#include <functional>
#include <string>

#include "core/face.h"
#include "link/link.h"
#include "link/sio.h"
#include "ports/port_list_view.h"

namespace ondo {

inline constexpr int kPortsProbed = 9;  // COM1 to COM9: library numbers 0 to 8

// "COM" followed by the library number + 1.
std::string comName(int number);

// One probe of a port: opened with the smallest queues and, when that works, closed at once.
struct PortProbe {
    sio::Result result = sio::kOk;  // SioReset's: negative when the port cannot be opened now
    std::string errorText;  // the system's text when the result is an operating-system error
};
PortProbe probePort(sio::SerialLibrary& library, int number);

// Opens the named port (COM1 to COM9), says so in the status line and greets the unit; the lamp
// turns green when the unit answered the greeting, red when it did not. Nothing happens while a
// run owns the unit, or for an empty name. The command line opens its port this way.
void openNamedPort(Link& link, Face& face, const std::string& name);

class PortList {
  public:
    // The "port" setting: the name of the port open when the program last ended.
    using RememberedPort = std::function<std::string()>;

    PortList(Link& link, Face& face, PortListView& view, RememberedPort remembered);

    // Closes the open port, probes COM1 to COM9 into the list and opens the remembered port as
    // soon as the probe finds it (the probe then goes on), or the only port found.
    void rebuild();
    // Opens the entry the list shows as selected.
    void openSelected();

  private:
    Link& link_;
    Face& face_;
    PortListView& view_;
    RememberedPort remembered_;
};

}  // namespace ondo
