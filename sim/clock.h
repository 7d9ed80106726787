// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulator's one clock and its named times. Everything runs on a monotonic clock so that a
// change of the wall clock cannot stretch or cut a wait.

#include <chrono>

namespace sim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

// One byte on the line at 19,200 bit/s with 10 bits a byte (start, 8 data, stop).
constexpr std::chrono::nanoseconds kByteTime{520833};

}  // namespace sim
