// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a wait hands the thread back to the event loop.

namespace ondo {

class Waiter {
  public:
    // yield's argument when the caller does not wait for a byte (a delay, a closed port).
    static constexpr int kNoByteWait = -1;
    // yield's argument when the caller waits for a byte but the port offers no descriptor.
    static constexpr int kByteWaitWithoutHandle = -2;

    virtual ~Waiter() = default;
    // Lets the event loop handle what is pending (timer ticks, clicks, key presses, close
    // requests); when nothing is pending, sleeps until something happens. With a descriptor
    // (0 or more) a byte arriving on it also ends the sleep; with kByteWaitWithoutHandle the
    // sleep lasts at most a millisecond. Never spins a core.
    virtual void yield(int byteHandle) = 0;
};

}  // namespace ondo
