// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/console.h"

#include "core/messages.h"

namespace ondo {

Console::Console(Link& link, Face& face, ConsoleView& view)
    : link_(link), face_(face), view_(view) {}

void Console::tCmd_KeyPress(int& keyAscii) {
    // From Start until the run has ended the box edits as usual but nothing is sent.
    if (link_.unitBusy()) return;
    if (keyAscii == kEnter) {
        if (!link_.PortOpen) {
            msgError(face_, "COM port not open");
            return;
        }
        const std::string text = view_.cmdText();
        if (text.empty()) return;
        LastCmd = text;
        face_.dataHistory("[ " + LastCmd + " ]");
        view_.setCmdText("", 0);
        link_.TxCommand(LastCmd);  // exactly as typed
        keyAscii = 0;
        return;
    }
    if (KeyForwarded) view_.setCmdText(std::string(1, static_cast<char>(keyAscii)), 1);
}

void Console::tCmd_KeyDown(int& keyCode) {
    if (keyCode != kUpArrow) return;
    view_.setCmdText(LastCmd, static_cast<int>(LastCmd.size()));
    keyCode = 0;
}

void Console::tRx_KeyPress(int& keyAscii) {
    KeyForwarded = true;
    tCmd_KeyPress(keyAscii);
    KeyForwarded = false;
    view_.focusCmd();
    view_.beep();
    keyAscii = 0;  // the pane itself never changes by typing
}

void Console::tText_KeyPress(int& keyAscii) {
    tRx_KeyPress(keyAscii);
    keyAscii = 0;
}

void Console::lCmd_Click() {
    face_.paneClear();
}

}  // namespace ondo
