// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one lookup from a library port number to its device: library port n is COM(n + 1), and
// the settings' port map says which device that name stands for (Settings::portDevice).

#include <memory>

#include "core/settings.h"
#include "link/sio.h"

namespace ondo {

// The platform's serial library, its ports looked up in the settings' port map on each SioReset
// (the Windows backend names its ports itself). The settings must outlive the library.
std::unique_ptr<sio::SerialLibrary> makeMappedLibrary(const Settings& settings);

}  // namespace ondo
