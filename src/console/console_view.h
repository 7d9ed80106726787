// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command box as a front end shows it: the window's tCmd. Only the window has one.

#include <string>

namespace ondo {

class ConsoleView {
  public:
    virtual ~ConsoleView() = default;
    virtual std::string cmdText() const = 0;
    virtual void setCmdText(const std::string& text, int caret) = 0;
    virtual void focusCmd() = 0;
    virtual void beep() = 0;
};

}  // namespace ondo
