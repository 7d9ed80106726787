// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A USB-serial adapter on the host's end of the line, as the common FTDI ones behave: bytes from
// the unit are held in the adapter and reach the host in packets of up to 62 bytes. A packet
// leaves when it is full or when the latency timer, started by its first byte, runs out. With
// the timer at 0 every byte leaves as it arrives, as on a plain serial port.

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "clock.h"

namespace sim {

class Adapter {
  public:
    static constexpr std::size_t kPacketBytes = 62;

    explicit Adapter(std::chrono::milliseconds latency) : latency_(latency) {}

    // A byte that has come off the line into the adapter at `at`.
    void put(std::uint8_t byte, TimePoint at);
    // The bytes of every packet that has left by `now`, in order.
    std::string take(TimePoint now);
    // When the next held packet leaves; nothing when the adapter holds no byte.
    std::optional<TimePoint> nextDeparture() const;
    // Forgets every held byte (the adapter was pulled).
    void clear() { packets_.clear(); }

  private:
    struct Packet {
        std::string bytes;
        TimePoint leaves;
    };

    std::chrono::milliseconds latency_;
    std::deque<Packet> packets_;  // the last one may still be filling
    TimePoint last_{};            // bytes come in order: none earlier than the one before
};

}  // namespace sim
