// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The unit's running firmware as the host sees it: a terminal-style monitor that echoes what it
// is sent, answers each command ended by CR with one reply line, and streams readings unasked.

#include <cstdint>
#include <optional>
#include <string>

#include "clock.h"
#include "context.h"

namespace sim {

class Monitor {
  public:
    enum class Event { kNone, kEnterBootloader };

    explicit Monitor(UnitContext& unit) : unit_(unit) {}

    // Fresh state after any power-up: streaming on, no command typed.
    void powerUp(TimePoint now);
    Event receive(std::uint8_t byte, TimePoint now);
    // Sends the reading that is due, if the line is free for it.
    void tick(TimePoint now);
    std::optional<TimePoint> nextDeadline() const;

  private:
    Event execute(const std::string& command, TimePoint now);
    void reply(std::string text, TimePoint now);
    void writeEeprom(const std::string& command, TimePoint now);
    void readEeprom(const std::string& command, TimePoint now);
    std::string reading();

    UnitContext& unit_;
    std::string command_;
    bool overflow_ = false;
    bool streaming_ = true;
    TimePoint nextReading_{};
    int afrHundredths_ = 1470;
};

}  // namespace sim
