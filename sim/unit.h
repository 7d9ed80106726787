// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The whole unit: which program runs (monitor, bootloader, or none while it restarts or is
// switched off), its power-ups, and the memories that outlive them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bootloader.h"
#include "clock.h"
#include "context.h"
#include "monitor.h"

namespace sim {

class Unit {
  public:
    Unit(const Options& options, const UnitType& type, Outbox& outbox);

    // Loads the EEPROM from a raw file (missing bytes stay 0xFF); false if it cannot be read.
    bool loadEeprom(const std::string& path);
    // Ordinary power-up: the monitor runs, streaming readings.
    void powerUp(TimePoint now);
    // Power-up with the rescue jumper fitted: the bootloader runs and announces itself.
    void rescuePowerUp(TimePoint now);
    // The unit loses power (it has been unplugged) and does nothing until powered up.
    void powerOff();

    void receive(std::uint8_t byte, TimePoint now);
    void tick(TimePoint now);
    std::optional<TimePoint> nextDeadline() const;
    // True once when the chosen --vanish-at point has been reached.
    bool takeVanish() { return unit_.vanish.take(); }

    const std::vector<std::uint8_t>& flash() const { return unit_.flash; }
    const std::vector<std::uint8_t>& eeprom() const { return unit_.eeprom; }
    const Counters& counters() const { return unit_.counters; }

  private:
    enum class Mode { kOff, kMonitor, kBootloader, kRestarting };

    void enterBootloader(TimePoint now, std::chrono::milliseconds delay);

    UnitContext unit_;
    Monitor monitor_;
    Bootloader bootloader_;
    Mode mode_ = Mode::kOff;
    TimePoint restartEnd_{};
};

}  // namespace sim
