// SPDX-License-Identifier: GPL-3.0-or-later
#include "outbox.h"

#include <algorithm>

namespace sim {

void Outbox::push(std::string bytes, Kind kind, TimePoint notBefore) {
    if (bytes.empty()) return;
    pieces_.push_back(Piece{std::move(bytes), kind, notBefore});
}

void Outbox::dropUnsentData() {
    std::erase_if(pieces_, [](const Piece& p) { return p.kind == Kind::kData && p.sent == 0; });
}

std::optional<TimePoint> Outbox::nextReady() const {
    if (pieces_.empty()) return std::nullopt;
    return pieces_.front().notBefore;
}

std::uint8_t Outbox::pop() {
    Piece& head = pieces_.front();
    const auto byte = static_cast<std::uint8_t>(head.bytes[head.sent++]);
    if (head.sent == head.bytes.size()) pieces_.pop_front();
    return byte;
}

}  // namespace sim
