// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the monitor and the bootloader share: the unit's memories, its counters, the outbox it
// talks into, and the faults it was asked to show.

#include <cstdint>
#include <string>
#include <vector>

#include "clock.h"
#include "options.h"
#include "outbox.h"
#include "random.h"
#include "unit_type.h"

namespace sim {

struct Counters {
    std::uint64_t restarts = 0;
    std::uint64_t restartMs = 0;
    std::uint64_t bootEntries = 0;
    std::uint64_t pagesStored = 0;
    std::uint64_t pagesRejected = 0;
    std::uint64_t eepromWrites = 0;
    int endWord = -1;  // the last end word received, -1 before any
};

// The --vanish-at point: fires once, then the main loop unplugs the unit.
class VanishTrigger {
  public:
    explicit VanishTrigger(VanishAt at) : at_(at) {}
    // True (once) when this event is the chosen point.
    bool hit(VanishAt::Kind kind, int value = 0);
    // True once after a hit, for the main loop.
    bool take();

  private:
    VanishAt at_;
    bool fired_ = false;
};

// Uses up one application of a fault at this page or address; true if the fault applies.
bool useFault(std::vector<CountedFault>& faults, int where);

struct UnitContext {
    UnitContext(const Options& options, const UnitType& type, Outbox& outbox);

    // Queues bytes for the host unless the unit is --silent.
    void send(std::string bytes, Outbox::Kind kind, TimePoint notBefore);

    Options options;  // a copy: the counted faults are used up as they fire
    const UnitType& type;
    std::vector<std::uint8_t> flash;
    std::vector<std::uint8_t> eeprom;
    Counters counters;
    Outbox& outbox;
    Random random;
    VanishTrigger vanish;
};

}  // namespace sim
