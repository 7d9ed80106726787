// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/port_map.h"

namespace ondo {

namespace {
std::string mappedDevice(int port, void* settings) {
    return static_cast<const Settings*>(settings)->portDevice(port + 1);
}
}  // namespace

std::unique_ptr<sio::SerialLibrary> makeMappedLibrary(const Settings& settings) {
    return sio::makePlatformLibrary(mappedDevice, const_cast<Settings*>(&settings));
}

}  // namespace ondo
