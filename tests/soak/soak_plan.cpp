#include "soak/soak_plan.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace ondo::testing {

namespace {

struct TypeRow {
    const char* id;
    int pageSize;
    int pageCount;
    int eeSize;
};
// Small units come up more often: a run on them is quicker, and the protocol is the same.
constexpr std::array<TypeRow, 8> kTypes{{
    {"AlaR", 64, 124, 512},
    {"AlaR", 64, 124, 512},
    {"AlaR", 64, 124, 512},
    {"NmaS", 128, 126, 512},
    {"BmaS", 128, 126, 512},
    {"EnbS", 128, 252, 1024},
    {"XobS", 256, 252, 2048},
    {"AlaR", 64, 124, 512},
}};

// Time-outs of the protocol, in seconds: a short wait ends on the sixth tick of 100 ms.
constexpr double kShortWait = 0.6;
constexpr double kVersionSettle = 0.5;    // five ticks after "m0"
constexpr double kRestartWait = 3.0;      // thirty ticks after the end word
constexpr int kBootloaderReads = 100;     // each may be followed by a four-byte read
constexpr int kPageAttempts = 4 + 3 * 9;  // four first attempts and three series of nine retries
constexpr int kEEAttempts = 5;
constexpr double kStartUp = 10.0;    // the program and the simulated unit starting
constexpr double kLoadFactor = 2.0;  // ticks come late on a loaded machine

double uniform(std::uint64_t& state) {
    return static_cast<double>(splitMix(state) >> 11) / 9007199254740992.0;  // [0, 1)
}
int below(std::uint64_t& state, int n) {
    return static_cast<int>(splitMix(state) % static_cast<std::uint64_t>(n));
}
bool chance(std::uint64_t& state, double p) {
    return uniform(state) < p;
}

// Byte fault rates from 0.1 % to 5 %, log-uniform, so that the low rates a real line shows get
// as many runs as the bad ones.
double drawRate(std::uint64_t& state) {
    return 0.001 * std::pow(50.0, uniform(state));
}

std::string rateText(double rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", rate);
    return text;
}

void add(SoakPlan& plan, const std::string& option, const std::string& value,
         const std::string& words) {
    plan.simOptions.push_back(option);
    plan.simOptions.push_back(value);
    plan.faults += (plan.faults.empty() ? "" : ", ") + words;
}

// One or two of the three line faults: bytes from the unit damaged, bytes to it lost or flipped.
void drawLineFaults(SoakPlan& plan, std::uint64_t& state) {
    static const char* const kOptions[] = {"--fault-rate", "--drop-rate", "--flip-rate"};
    static const char* const kWords[] = {"from-unit", "dropped", "flipped"};
    const int first = below(state, 3);
    const int count = chance(state, 0.3) ? 2 : 1;
    for (int i = 0; i < count; ++i) {
        const int kind = (first + i) % 3;
        const double rate = drawRate(state);
        plan.byteRate = std::max(plan.byteRate, rate);
        add(plan, kOptions[kind], rateText(rate), std::string(kWords[kind]) + " " + rateText(rate));
    }
}

void drawPageFaults(SoakPlan& plan, std::uint64_t& state) {
    const std::string page = std::to_string(below(state, plan.pageCount));
    if (chance(state, 0.25)) {
        const std::string count = std::to_string(1 + below(state, 3));
        add(plan, "--garble-page", page + ":" + count, "garbled page " + page + "x" + count);
    }
    if (chance(state, 0.25)) {
        const std::string count =
            chance(state, 0.1) ? "always" : std::to_string(1 + below(state, 6));
        add(plan, "--reject-page", page + ":" + count, "@ for page " + page + "x" + count);
    }
    if (chance(state, 0.2)) {
        const std::string ms = std::to_string(300 + below(state, 2700));
        add(plan, "--late-page", page + ":" + ms, "late page " + page + " " + ms + " ms");
    }
}

void drawUnitFaults(SoakPlan& plan, std::uint64_t& state) {
    if (chance(state, 0.2)) {
        const std::string address = std::to_string(below(state, plan.eeSize));
        const std::string count =
            chance(state, 0.2) ? "always" : std::to_string(1 + below(state, 6));
        add(plan, "--ee-wrong-read", address + ":" + count,
            "wrong read-back " + address + "x" + count);
    }
    if (chance(state, 0.2)) {
        plan.restartMs = 1600 + below(state, 2400);  // beyond 3000 the firmware is not back yet
        add(plan, "--restart-ms", std::to_string(plan.restartMs),
            "restart " + std::to_string(plan.restartMs) + " ms");
    }
}

}  // namespace

std::uint64_t splitMix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint64_t runSeed(std::uint64_t master, int index) {
    std::uint64_t state = master * 1000003u + static_cast<std::uint64_t>(index);
    return splitMix(state) % 1000000000000ull;  // short enough to type
}

SoakPlan planRun(std::uint64_t seed) {
    SoakPlan plan;
    plan.seed = seed;
    std::uint64_t state = seed;
    const TypeRow& type = kTypes[static_cast<std::size_t>(below(state, kTypes.size()))];
    plan.type = type.id;
    plan.pageSize = type.pageSize;
    plan.pageCount = type.pageCount;
    plan.eeSize = type.eeSize;
    const int scope = below(state, 10);
    plan.scope = scope < 7 ? Scope::Whole : scope < 8 ? Scope::EEOnly : Scope::FlashOnly;
    plan.yes = chance(state, 0.5);
    plan.simOptions = {"--type", plan.type, "--seed", std::to_string(seed % 2000000000u)};
    drawLineFaults(plan, state);
    if (plan.scope != Scope::EEOnly) drawPageFaults(plan, state);
    drawUnitFaults(plan, state);
    if (plan.scope == Scope::EEOnly) plan.flashOptions.push_back("--ee-only");
    if (plan.scope == Scope::FlashOnly) plan.flashOptions.push_back("--flash-only");
    if (plan.yes) plan.flashOptions.push_back("--yes");
    return plan;
}

// Every wait of the run ends at its time-out at the latest, and every repetition is bounded:
// the version check (three replies and the settle), the bootloader's prompt (100 reads, each
// perhaps followed by the identification's read), every page at most 31 attempts, the restart,
// four replies of the restarted firmware, five attempts per EEPROM address in each of the two
// passes, and three replies at the end.
double SoakPlan::boundSeconds() const {
    double total = 3 * kShortWait + kVersionSettle + 4 * kShortWait + 3 * kShortWait;
    if (scope != Scope::EEOnly) {
        total += kBootloaderReads * 2 * kShortWait;
        total += static_cast<double>(pageCount) * kPageAttempts * kShortWait;
        total += kRestartWait;
    }
    if (scope != Scope::FlashOnly)
        total += static_cast<double>(eeSize) * 2 * kEEAttempts * kShortWait;
    return kStartUp + kLoadFactor * total;
}

}  // namespace ondo::testing
