// SPDX-License-Identifier: GPL-3.0-or-later
#include "wire.h"

#include <algorithm>

namespace sim {

Wire::Wire(const Options& options)
    : pace_(options.pace),
      faultRate_(options.faultRate),
      dropRate_(options.dropRate),
      flipRate_(options.flipRate),
      hostDamage_(options.seed),
      unitDamage_(options.seed ^ 0x5A5A5A5Au),
      adapter_(options.adapterLatency) {}

// A paced byte ends one byte time after both the line is free and the byte is ready.
TimePoint Wire::slotEnd(TimePoint slot, TimePoint ready) const {
    return pace_ ? std::max(slot, ready) + kByteTime : ready;
}

void Wire::fromHost(const std::uint8_t* data, std::size_t size, TimePoint now) {
    fromHost_ += size;
    for (std::size_t i = 0; i < size; ++i) {
        if (const auto byte = damageHostByte(data[i])) inbound_.emplace_back(*byte, now);
    }
}

std::optional<std::pair<std::uint8_t, TimePoint>> Wire::toUnit(TimePoint now) {
    if (inbound_.empty()) return std::nullopt;
    const TimePoint end = slotEnd(inSlot_, inbound_.front().second);
    if (end > now) return std::nullopt;
    inSlot_ = end;
    const std::uint8_t byte = inbound_.front().first;
    inbound_.pop_front();
    return std::make_pair(byte, end);
}

std::string Wire::toHost(Outbox& outbox, TimePoint now) {
    while (const auto ready = outbox.nextReady()) {
        const TimePoint end = slotEnd(outSlot_, *ready);
        if (end > now) break;
        outSlot_ = end;
        if (const auto byte = damageUnitByte(outbox.pop())) adapter_.put(*byte, end);
    }
    return adapter_.take(now);
}

std::optional<TimePoint> Wire::nextDue(const Outbox& outbox) const {
    std::optional<TimePoint> due;
    if (!inbound_.empty()) due = slotEnd(inSlot_, inbound_.front().second);
    if (const auto ready = outbox.nextReady()) {
        const TimePoint end = slotEnd(outSlot_, *ready);
        due = due ? std::min(*due, end) : end;
    }
    if (const auto held = adapter_.nextDeparture()) due = due ? std::min(*due, *held) : *held;
    return due;
}

std::optional<std::uint8_t> Wire::damageHostByte(std::uint8_t byte) {
    if (hostDamage_.chance(dropRate_)) return std::nullopt;
    if (hostDamage_.chance(flipRate_))
        byte ^= static_cast<std::uint8_t>(1u << hostDamage_.below(8));
    return byte;
}

// Half of the damaged bytes are lost, the other half arrive as some other value.
std::optional<std::uint8_t> Wire::damageUnitByte(std::uint8_t byte) {
    if (!unitDamage_.chance(faultRate_)) return byte;
    if (unitDamage_.below(2) == 0) return std::nullopt;
    return static_cast<std::uint8_t>(byte ^ (1 + unitDamage_.below(255)));
}

}  // namespace sim
