// Monitor queries: the parameter of a reply and the firmware version.

#include "link/hex.h"
#include "link/link.h"

namespace ondo {

namespace {
constexpr std::size_t kParameterLength = 4;
}

std::string Link::GetParameter() {
    const std::string reply = GetResponse();
    const std::size_t blank = reply.find(' ');
    const std::size_t start = blank == std::string::npos ? 0 : blank + 1;
    if (start >= reply.size()) return {};
    return reply.substr(start, kParameterLength);
}

int Link::GetVersion() {
    TxCommand("v");
    RomVersion = GetParameter();
    face_.setVersionLabel(RomVersion.empty() ? "ROM ----" : "ROM " + RomVersion);
    return HexVal(RomVersion);
}

void Link::lBootVersion_Click() {
    if (refuseWhileBusy()) return;
    GetVersion();
}

}  // namespace ondo
