// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_face.h"

#include "window/run_window.h"

namespace ondo {

int runWindowFace(int argc, char** argv) {
    return window::runWindow(argc, argv);
}

}  // namespace ondo
