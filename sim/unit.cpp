// SPDX-License-Identifier: GPL-3.0-or-later
#include "unit.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace sim {
namespace {

// How long the unit takes from a reset to its bootloader's ">".
constexpr std::chrono::milliseconds kCommandEntryDelay{50};
constexpr std::chrono::milliseconds kRescueEntryDelay{200};

}  // namespace

Unit::Unit(const Options& options, const UnitType& type, Outbox& outbox)
    : unit_(options, type, outbox), monitor_(unit_), bootloader_(unit_) {}

bool Unit::loadEeprom(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file),
                                  std::istreambuf_iterator<char>()};
    const std::size_t count = std::min(bytes.size(), unit_.eeprom.size());
    for (std::size_t i = 0; i < count; ++i) unit_.eeprom[i] = static_cast<std::uint8_t>(bytes[i]);
    return true;
}

void Unit::powerUp(TimePoint now) {
    mode_ = Mode::kMonitor;
    monitor_.powerUp(now);
}

void Unit::rescuePowerUp(TimePoint now) {
    enterBootloader(now, kRescueEntryDelay);
}

void Unit::powerOff() {
    mode_ = Mode::kOff;
}

void Unit::enterBootloader(TimePoint now, std::chrono::milliseconds delay) {
    ++unit_.counters.bootEntries;
    mode_ = Mode::kBootloader;
    unit_.outbox.dropUnsentData();
    if (unit_.vanish.hit(VanishAt::Kind::kBoot)) {
        mode_ = Mode::kOff;
        return;
    }
    bootloader_.start(now, delay);
}

void Unit::receive(std::uint8_t byte, TimePoint now) {
    tick(now);
    if (mode_ == Mode::kMonitor) {
        if (monitor_.receive(byte, now) == Monitor::Event::kEnterBootloader) {
            enterBootloader(now, kCommandEntryDelay);
        }
    } else if (mode_ == Mode::kBootloader) {
        if (bootloader_.receive(byte, now) == Bootloader::Event::kRestart) {
            mode_ = Mode::kRestarting;
            restartEnd_ = now + unit_.options.restart;
        }
    }
}

void Unit::tick(TimePoint now) {
    if (mode_ == Mode::kRestarting && now >= restartEnd_) {
        ++unit_.counters.restarts;
        unit_.counters.restartMs += static_cast<std::uint64_t>(unit_.options.restart.count());
        powerUp(now);
    }
    if (mode_ == Mode::kMonitor) monitor_.tick(now);
    if (mode_ == Mode::kBootloader) bootloader_.tick(now);
}

std::optional<TimePoint> Unit::nextDeadline() const {
    switch (mode_) {
        case Mode::kMonitor:
            return monitor_.nextDeadline();
        case Mode::kBootloader:
            return bootloader_.nextDeadline();
        case Mode::kRestarting:
            return restartEnd_;
        default:
            return std::nullopt;
    }
}

}  // namespace sim
