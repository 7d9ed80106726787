// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/latency_timer.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace ondo {

std::string sysfsRoot() {
    const char* root = std::getenv("ONDO_SYSFS_ROOT");
    return root && *root ? root : "/sys";
}

std::optional<LatencyTimer> readLatencyTimer(const std::string& device, const std::string& root) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path real = fs::canonical(device, error);
    if (error || !real.has_filename()) return std::nullopt;
    const fs::path file =
        fs::path(root) / "bus" / "usb-serial" / "devices" / real.filename() / "latency_timer";
    std::ifstream in(file);
    int ms = -1;
    if (!(in >> ms) || ms < 0) return std::nullopt;
    return LatencyTimer{ms, file.string()};
}

std::string latencyTimerText(const LatencyTimer& timer) {
    return "latency timer " + std::to_string(timer.ms) + " ms";
}

// The timer this shows is the driver's own setting; while ondo-flash holds the port it asks the
// driver for low latency, which FTDI's driver honours by running the timer at 1 ms, but neither
// this file nor the request says whether a given driver does. So the hint gives both.
std::string latencyTimerHint(const LatencyTimer& timer) {
    if (timer.ms <= 1) return {};
    return "hint: the adapter holds received bytes up to " + std::to_string(timer.ms) +
           " ms, slowing an update; ondo-flash asks its driver for 1 ms while it has the port "
           "open; to make 1 ms the default, as root: echo 1 > " +
           timer.file;
}

}  // namespace ondo
