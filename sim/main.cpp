// SPDX-License-Identifier: GPL-3.0-or-later
// ondo-unit-sim: a simulated oxygen-sensor controller on a pseudo-terminal, for tests and demos
// of the flashing utility without hardware. See sim/README.md for the wire format and options.

#include <cstdio>
#include <cstring>
#include <string>

#include "core/build_info.h"
#include "options.h"
#include "simulator.h"
#include "unit_type.h"

namespace {

// -V, or --version with no value after it: the program's version. The unit's firmware version is
// --firmware TEXT; the older spelling --version TEXT still sets it.
bool asksProgramVersion(int argc, char** argv, int i) {
    if (std::strcmp(argv[i], "-V") == 0) return true;
    return std::strcmp(argv[i], "--version") == 0 && (i + 1 == argc || argv[i + 1][0] == '-');
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(sim::usage().c_str(), stdout);
            return 0;
        }
        if (asksProgramVersion(argc, argv, i)) {
            std::printf("%s\n", ondo::versionText("ondo-unit-sim").c_str());
            return 0;
        }
    }
    std::string error;
    const auto options = sim::parseOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "ondo-unit-sim: %s\n%s", error.c_str(), sim::usage().c_str());
        return 2;
    }
    sim::Simulator simulator(*options, *sim::findUnitType(options->type));
    return simulator.run();
}
