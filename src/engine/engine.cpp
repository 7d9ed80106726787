// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/engine.h"

namespace ondo {

Engine::Engine(sio::SerialLibrary& serial, Waiter& waiter, Face& face)
    : serial_(serial), link_(serial, face, waiter), sequence_(link_, image_, face) {}

void Engine::reset() {
    link_.AbortRequested = false;
    link_.RxBusy = false;
    link_.PortOpen = false;
    image_.FlashFileValid = false;
    sequence_.EESize = 512;
    sequence_.EESizeKnown = false;
}

bool Engine::requestClose() {
    requestStop();
    return !sequence_.Flashing;
}

}  // namespace ondo
