// SPDX-License-Identifier: GPL-3.0-or-later
// Monitor queries: the parameter of a reply and the firmware version.

#include "core/hex.h"
#include "link/link.h"
#include "protocol/monitor.h"

namespace ondo {

std::string Link::GetParameter() {
    return monitor::parameter(GetResponse());
}

int Link::GetVersion() {
    TxCommand(monitor::version());
    RomVersion = GetParameter();
    face_.setVersionLabel(RomVersion.empty() ? "ROM ----" : "ROM " + RomVersion);
    return HexVal(RomVersion);
}

void Link::lBootVersion_Click() {
    if (refuseWhileBusy()) return;
    GetVersion();
}

}  // namespace ondo
