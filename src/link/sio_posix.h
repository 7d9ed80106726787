// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The POSIX backend's reach into the serial driver beyond termios: the low-latency switch that
// USB-serial drivers such as Linux's FTDI one obey by running their latency timer at 1 ms instead
// of holding received bytes for up to 16 ms. Apart so that a test can stand in for the driver.

#include <memory>
#include <optional>

#include "link/sio.h"

namespace sio {

class LowLatencySwitch {
  public:
    virtual ~LowLatencySwitch() = default;
    // Whether the driver behind fd has low latency on; nothing when it has no such switch or
    // will not say (a pseudo-terminal, a driver without the request, another system).
    virtual std::optional<bool> isOn(int fd) = 0;
    // Turns it on or off; false when the driver refuses.
    virtual bool set(int fd, bool on) = 0;
};

// The switch of the running system: on Linux the TIOCGSERIAL and TIOCSSERIAL requests and their
// ASYNC_LOW_LATENCY flag; elsewhere a switch that is never there.
LowLatencySwitch& systemLowLatency();

// The POSIX library with the given switch. It turns low latency on when it opens a port, if the
// driver has it off and lets it be turned on, and turns it off again when it closes that port.
// A refusal changes nothing else about opening. The switch must outlive the library.
std::unique_ptr<SerialLibrary> makePosixLibrary(DeviceResolver resolve, void* context,
                                                LowLatencySwitch& latency);

}  // namespace sio
