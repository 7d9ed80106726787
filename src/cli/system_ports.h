// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Serial ports the system has beyond the nine the utility offers. Windows numbers a USB adapter
// as it first sees it, often above COM9; such a port can be given a number from 1 to 9 in
// Device Manager. Other systems name their devices otherwise and report none.

#include <string>
#include <vector>

namespace ondo {

// "COM10", "COM12", ... in ascending order, as the system lists them now.
std::vector<std::string> systemPortsAboveNine();

// The one line `ports` prints under them.
inline constexpr const char* kRenumberHint =
    "The utility offers COM1 to COM9 only. To use a port above COM9, give it a free number from "
    "1 to 9 in Device Manager: Ports (COM & LPT) -> the port -> Properties -> Port Settings -> "
    "Advanced -> COM Port Number.";

}  // namespace ondo
