#pragma once
// One soak run's plan, drawn from its seed alone: the unit type, what the update covers, whether
// the boxes are answered, and the faults the simulated unit shows. The same seed gives the same
// plan, so a failing run can be replayed by its seed.

#include <cstdint>
#include <string>
#include <vector>

namespace ondo::testing {

enum class Scope { Whole, EEOnly, FlashOnly };

struct SoakPlan {
    std::uint64_t seed = 0;
    std::string type;  // the unit's identification
    int pageSize = 0;
    int pageCount = 0;
    int eeSize = 0;
    Scope scope = Scope::Whole;
    bool yes = false;      // --yes: error boxes are skipped, an incomplete EEPROM exits 8
    double byteRate = 0;   // the largest per-byte fault rate of the run
    int restartMs = 1500;  // the unit's restart time after the end word
    std::vector<std::string> simOptions;    // options for ondo-unit-sim, --seed included
    std::vector<std::string> flashOptions;  // options for "ondo-flash flash" besides port and file
    std::string faults;                     // the faults in a few words, for the report

    // The longest a run of this plan may take, from the protocol's time-outs and retry limits.
    double boundSeconds() const;
};

// The next value of a splitmix64 sequence; the soak's only source of chance.
std::uint64_t splitMix(std::uint64_t& state);
// The seed of run number index of a soak started with seed master.
std::uint64_t runSeed(std::uint64_t master, int index);
SoakPlan planRun(std::uint64_t seed);

}  // namespace ondo::testing
