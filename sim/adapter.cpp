// SPDX-License-Identifier: GPL-3.0-or-later
#include "adapter.h"

#include <algorithm>

namespace sim {

void Adapter::put(std::uint8_t byte, TimePoint at) {
    last_ = std::max(last_, at);
    const bool startsPacket = packets_.empty() || packets_.back().bytes.size() >= kPacketBytes ||
                              last_ >= packets_.back().leaves;
    if (startsPacket) packets_.push_back(Packet{{}, last_ + latency_});
    Packet& packet = packets_.back();
    packet.bytes.push_back(static_cast<char>(byte));
    if (packet.bytes.size() == kPacketBytes) packet.leaves = std::min(packet.leaves, last_);
}

std::string Adapter::take(TimePoint now) {
    std::string out;
    while (!packets_.empty() && packets_.front().leaves <= now) {
        out += packets_.front().bytes;
        packets_.pop_front();
    }
    return out;
}

std::optional<TimePoint> Adapter::nextDeparture() const {
    if (packets_.empty()) return std::nullopt;
    return packets_.front().leaves;
}

}  // namespace sim
