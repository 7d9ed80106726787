// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command console: monitor commands typed by hand into the command box, echoed into the
// data pane and sent to the running firmware; keys typed into the panes are steered to the box.
//
// A key handler consumes a key by setting its code to 0, so the box does not act on it.

#include <string>

#include "console/console_view.h"
#include "core/face.h"
#include "link/link.h"

namespace ondo {

class Console {
  public:
    // While a run owns the unit (Link::unitBusy) the console sends nothing.
    Console(Link& link, Face& face, ConsoleView& view);

    void tCmd_KeyPress(int& keyAscii);   // Enter sends the box's text as typed
    void tCmd_KeyDown(int& keyCode);     // Up arrow recalls the last command
    void tRx_KeyPress(int& keyAscii);    // a key typed into the data pane goes to the box
    void tText_KeyPress(int& keyAscii);  // a key typed into the log goes to the box
    void lCmd_Click();                   // the caption clicked: empties the data pane

    std::string LastCmd;        // the last command sent
    bool KeyForwarded = false;  // a key from a pane is being handed to the box

    static constexpr int kEnter = 13;
    static constexpr int kUpArrow = 38;

  private:
    Link& link_;
    Face& face_;
    ConsoleView& view_;
};

}  // namespace ondo
