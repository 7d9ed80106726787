// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The port list as a front end shows it: the window's cboPort. Selecting in code does not run
// the selection handler; the port list runs it once itself.

#include <string>

namespace ondo {

class PortListView {
  public:
    virtual ~PortListView() = default;
    virtual void portListClear() = 0;
    virtual void portListAdd(const std::string& name) = 0;
    virtual void portListSelect(const std::string& name) = 0;  // no entry of that name: none
    virtual std::string portListText() const = 0;              // the selected entry, or empty
};

}  // namespace ondo
