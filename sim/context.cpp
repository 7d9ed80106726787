// SPDX-License-Identifier: GPL-3.0-or-later
#include "context.h"

namespace sim {

bool VanishTrigger::hit(VanishAt::Kind kind, int value) {
    if (at_.kind != kind || (kind != VanishAt::Kind::kBoot && at_.value != value)) return false;
    at_.kind = VanishAt::Kind::kNever;
    fired_ = true;
    return true;
}

bool VanishTrigger::take() {
    const bool fired = fired_;
    fired_ = false;
    return fired;
}

bool useFault(std::vector<CountedFault>& faults, int where) {
    for (CountedFault& fault : faults) {
        if (fault.where != where || fault.count == 0) continue;
        if (fault.count != CountedFault::kAlways) --fault.count;
        return true;
    }
    return false;
}

UnitContext::UnitContext(const Options& options, const UnitType& type, Outbox& outbox)
    : options(options),
      type(type),
      flash(static_cast<std::size_t>(type.pageSize * type.pageCount), 0xFF),
      eeprom(static_cast<std::size_t>(type.eepromSize), 0xFF),
      outbox(outbox),
      random(options.seed + 1),
      vanish(options.vanish) {}

void UnitContext::send(std::string bytes, Outbox::Kind kind, TimePoint notBefore) {
    if (!options.silent) outbox.push(std::move(bytes), kind, notBefore);
}

}  // namespace sim
