#pragma once
// The command console: monitor commands typed by hand into the command box, echoed into the
// data pane and sent to the running firmware; keys typed into the panes are steered to the box.
//
// A key handler consumes a key by setting its code to 0, so the box does not act on it.

#include <string>

#include "core/face.h"
#include "link/link.h"

namespace ondo {

class Console {
  public:
    // While a run owns the unit (Link::unitBusy) the console sends nothing.
    Console(Link& link, Face& face);

    void tCmd_KeyPress(int& keyAscii);
    void tCmd_KeyDown(int& keyCode);
    void tRx_KeyPress(int& keyAscii);
    void tText_KeyPress(int& keyAscii);
    void lCmd_Click();

    std::string LastCmd;
    bool KeyForwarded = false;

    static constexpr int kEnter = 13;
    static constexpr int kUpArrow = 38;

  private:
    Link& link_;
    Face& face_;
};

}  // namespace ondo
