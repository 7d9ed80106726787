#pragma once
// How a wait hands the thread back to the event loop.

namespace ondo {

class Waiter {
public:
    virtual ~Waiter() = default;
    // Lets the event loop handle what is pending (timer ticks, clicks, key presses, close
    // requests); when nothing is pending, sleeps until something happens. With a descriptor
    // (0 or more) a byte arriving on it also ends the sleep. Never spins a core.
    virtual void yield(int byteHandle) = 0;
};

}  // namespace ondo
