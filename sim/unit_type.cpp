// SPDX-License-Identifier: GPL-3.0-or-later
#include "unit_type.h"

#include <array>

namespace sim {

const UnitType* findUnitType(const std::string& id) {
    static const std::array<UnitType, 5> kTypes = {{
        {"AlaR", 64, 124, 512, 0x03FF},
        {"NmaS", 128, 126, 512, 0xFFFF},
        {"BmaS", 128, 126, 512, 0x03FE},
        {"EnbS", 128, 252, 1024, 0x03FE},
        {"XobS", 256, 252, 2048, 0xFFFF},
    }};
    for (const UnitType& type : kTypes) {
        if (id == type.id) return &type;
    }
    return nullptr;
}

}  // namespace sim
