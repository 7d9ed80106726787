// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the unit has said and the line has not carried yet: an ordered queue of pieces (echoes,
// reply lines, data lines, bootloader bytes). Pieces leave whole and in order, so a data line can
// never land inside a reply, and a piece may wait for its time (a reply delay, a late answer).

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "clock.h"

namespace sim {

class Outbox {
  public:
    enum class Kind { kEcho, kReply, kData, kBoot };

    void push(std::string bytes, Kind kind, TimePoint notBefore);
    // Drops the data lines that have not started to leave; a line already half sent finishes.
    void dropUnsentData();
    void clear() { pieces_.clear(); }
    bool empty() const { return pieces_.empty(); }
    // When the next byte may leave, or nothing when the queue is empty.
    std::optional<TimePoint> nextReady() const;
    // Takes the next byte off the queue; only when not empty.
    std::uint8_t pop();

  private:
    struct Piece {
        std::string bytes;
        Kind kind;
        TimePoint notBefore;
        std::size_t sent = 0;
    };
    std::deque<Piece> pieces_;
};

}  // namespace sim
