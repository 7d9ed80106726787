// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The serial line between the host and the unit: it paces bytes at the real line rate when asked
// to, and it is where bytes get lost or damaged (the --fault-rate, --drop-rate and --flip-rate
// faults). At the host's end the bytes from the unit pass through the modelled USB adapter
// (--adapter-latency). It also counts what crossed it.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>

#include "adapter.h"
#include "clock.h"
#include "options.h"
#include "outbox.h"
#include "random.h"

namespace sim {

class Wire {
  public:
    explicit Wire(const Options& options);

    // Bytes the host wrote, as read from the pseudo-terminal at `now`.
    void fromHost(const std::uint8_t* data, std::size_t size, TimePoint now);
    // The next byte that has fully arrived at the unit by `now`, if any, with the time it did.
    std::optional<std::pair<std::uint8_t, TimePoint>> toUnit(TimePoint now);
    // The bytes from the outbox that have reached the host by `now`: after line faults, and
    // after the adapter has let them go.
    std::string toHost(Outbox& outbox, TimePoint now);
    // The earliest time something more is due on either direction.
    std::optional<TimePoint> nextDue(const Outbox& outbox) const;
    // Forgets bytes in flight (the line was cut).
    void reset() { inbound_.clear(); }
    // Forgets the bytes the adapter holds (the adapter was pulled with the unit).
    void clearAdapter() { adapter_.clear(); }

    std::uint64_t bytesFromHost() const { return fromHost_; }

  private:
    TimePoint slotEnd(TimePoint slot, TimePoint ready) const;
    std::optional<std::uint8_t> damageHostByte(std::uint8_t byte);
    std::optional<std::uint8_t> damageUnitByte(std::uint8_t byte);

    bool pace_;
    double faultRate_, dropRate_, flipRate_;
    Random hostDamage_;  // apart, so damage to host bytes does not depend on the readings sent
    Random unitDamage_;
    Adapter adapter_;
    std::deque<std::pair<std::uint8_t, TimePoint>> inbound_;
    TimePoint inSlot_{};
    TimePoint outSlot_{};
    std::uint64_t fromHost_ = 0;
};

}  // namespace sim
