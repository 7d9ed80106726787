// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The latency timer of the USB-serial adapter behind a port, where the system shows it. FTDI's
// adapters hold received bytes until 62 have gathered or the timer runs out (16 ms by default),
// and every exchange with the unit can wait that long. On Linux the drivers that have such a
// timer show it at <sysfs>/bus/usb-serial/devices/<ttyUSBn>/latency_timer, in milliseconds.

#include <optional>
#include <string>

namespace ondo {

struct LatencyTimer {
    int ms = 0;
    std::string file;  // where it was read, and where root can set it
};

// Where the system's sysfs tree is: $ONDO_SYSFS_ROOT when set (a stand-in tree), else /sys.
std::string sysfsRoot();

// The timer of the adapter behind device, which may be a symbolic link to it (for example one
// under /dev/serial/by-id); nothing when the device is missing or the system shows no timer.
std::optional<LatencyTimer> readLatencyTimer(const std::string& device, const std::string& root);

// What `ports` adds after a port's state, and the one-line hint it prints below the port when
// the timer is above 1 ms (empty otherwise).
std::string latencyTimerText(const LatencyTimer& timer);
std::string latencyTimerHint(const LatencyTimer& timer);

}  // namespace ondo
