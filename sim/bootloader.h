// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The unit's bootloader: announces itself with ">" and its identification, opens on "<", takes
// flash pages one frame at a time (answering "!" or "@"), and restarts the firmware when the
// two end bytes come instead of a frame.

#include <cstdint>
#include <optional>
#include <vector>

#include "clock.h"
#include "context.h"

namespace sim {

class Bootloader {
  public:
    enum class Event { kNone, kRestart };

    explicit Bootloader(UnitContext& unit) : unit_(unit) {}

    // Starts afresh; the announcement goes out after `delay`.
    void start(TimePoint now, std::chrono::milliseconds delay);
    Event receive(std::uint8_t byte, TimePoint now);
    // Sends the announcement when due; drops a frame that has stalled.
    void tick(TimePoint now);
    std::optional<TimePoint> nextDeadline() const;

  private:
    enum class State { kStarting, kAwaitOpen, kAwaitFrame, kPage, kData, kChecksum, kEndLow };

    bool midFrame() const;
    void announce(TimePoint now);
    Event frameByte(std::uint8_t byte, TimePoint now);
    void finishFrame(std::uint8_t checksum, TimePoint now);
    void answer(std::uint8_t page, bool stored, TimePoint now);

    UnitContext& unit_;
    State state_ = State::kStarting;
    TimePoint announceAt_{};
    TimePoint lastByte_{};
    int page_ = 0;
    int endHigh_ = 0;
    std::vector<std::uint8_t> data_;
};

}  // namespace sim
