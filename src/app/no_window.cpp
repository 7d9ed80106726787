// SPDX-License-Identifier: GPL-3.0-or-later
#include <iostream>

#include "app/window_face.h"
#include "session/exit_status.h"

namespace ondo {

int runWindowFace(int, char**) {
    std::cerr << "This build of ondo-flash has no window (it was built without Qt Widgets).\n"
                 "For the command-line mode: ondo-flash --help\n";
    return kExitUsage;
}

}  // namespace ondo
