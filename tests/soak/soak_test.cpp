// SPDX-License-Identifier: GPL-3.0-or-later
// The seeded soak: whole updates through the command line against the simulated unit, each with
// faults drawn from its own seed (the same seed gives the same plan, so a failing run is replayed
// by its seed), every outcome set against what the unit holds afterwards.
//
// Environment: ONDO_SOAK_RUNS (default 24, the short form), ONDO_SOAK_SEED (default 1),
// ONDO_SOAK_JOBS (runs at once, default 8; they mostly wait on time-outs), ONDO_SOAK_REPLAY (one
// run's seed: only that run).

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "support/hxf_file.h"
#include "support/run.h"
#include "support/sim_process.h"

namespace ondo::testing {
namespace {

enum class Scope { Whole, EEOnly, FlashOnly };

struct Plan {
    std::uint64_t seed = 0;
    int pageCount = 0, eeSize = 0;
    Scope scope = Scope::Whole;
    bool yes = false;  // --yes: error boxes are skipped, an incomplete EEPROM exits 8
    std::vector<std::string> simOptions, flashOptions;
};

std::uint64_t splitMix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}
int below(std::uint64_t& state, int n) {
    return static_cast<int>(splitMix(state) % static_cast<std::uint64_t>(n));
}
double uniform(std::uint64_t& state) {
    return static_cast<double>(splitMix(state) >> 11) / 9007199254740992.0;  // [0, 1)
}
bool chance(std::uint64_t& state, double p) {
    return uniform(state) < p;
}
std::string count(std::uint64_t& state, double always, int most) {
    return chance(state, always) ? "always" : std::to_string(1 + below(state, most));
}

Plan planRun(std::uint64_t seed) {
    struct Type {
        const char* id;
        int pageCount, eeSize;
    };
    // Small units come up more often: a run on them is quicker, and the protocol is the same.
    static const Type kTypes[] = {{"AlaR", 124, 512},  {"AlaR", 124, 512}, {"AlaR", 124, 512},
                                  {"AlaR", 124, 512},  {"NmaS", 126, 512}, {"BmaS", 126, 512},
                                  {"EnbS", 252, 1024}, {"XobS", 252, 2048}};
    std::uint64_t state = seed;
    const Type& type = kTypes[below(state, 8)];
    Plan p{seed, type.pageCount, type.eeSize, Scope::Whole, false, {}, {}};
    const int scope = below(state, 10);
    p.scope = scope < 7 ? Scope::Whole : scope < 8 ? Scope::EEOnly : Scope::FlashOnly;
    p.yes = chance(state, 0.5);
    p.simOptions = {"--type", type.id, "--seed", std::to_string(seed % 2000000000u)};
    auto add = [&](const char* option, const std::string& value) {
        p.simOptions.insert(p.simOptions.end(), {option, value});
    };
    // One or two line faults at byte rates from 0.1 % to 5 %, log-uniform: bytes from the unit
    // damaged, bytes to it lost or flipped.
    static const char* const kLine[] = {"--fault-rate", "--drop-rate", "--flip-rate"};
    const int first = below(state, 3), kinds = chance(state, 0.3) ? 2 : 1;
    for (int i = 0; i < kinds; ++i)
        add(kLine[(first + i) % 3], std::to_string(0.001 * std::pow(50.0, uniform(state))));
    if (p.scope != Scope::EEOnly) {
        const std::string page = std::to_string(below(state, p.pageCount));
        if (chance(state, 0.25))
            add("--garble-page", page + ":" + std::to_string(1 + below(state, 3)));
        if (chance(state, 0.25)) add("--reject-page", page + ":" + count(state, 0.1, 6));
        if (chance(state, 0.2))
            add("--late-page", page + ":" + std::to_string(300 + below(state, 2700)));
    }
    if (chance(state, 0.2))
        add("--ee-wrong-read", std::to_string(below(state, p.eeSize)) + ":" + count(state, 0.2, 6));
    // Beyond 3000 ms the firmware is not back in time after the end word.
    if (chance(state, 0.2)) add("--restart-ms", std::to_string(1600 + below(state, 2400)));
    if (p.scope == Scope::EEOnly) p.flashOptions = {"--ee-only", "--ee-size", type.id};
    if (p.scope == Scope::FlashOnly) p.flashOptions = {"--flash-only"};
    if (p.yes) p.flashOptions.push_back("--yes");
    return p;
}

// Every wait ends at its time-out of 0.6 s at the latest and every repetition is bounded: the
// version check and the end's replies, 100 reads for the bootloader's prompt (each perhaps followed
// by the identification's), 31 attempts a page, the 3 s restart, five attempts an EEPROM address in
// each of the two passes; doubled for a loaded machine, plus the start.
std::chrono::seconds bound(const Plan& p) {
    double waits = 14;
    if (p.scope != Scope::EEOnly) waits += 200 + p.pageCount * 31 + 5;
    if (p.scope != Scope::FlashOnly) waits += p.eeSize * 2 * 5;
    return std::chrono::seconds(static_cast<long>(10 + 2 * 0.6 * waits) + 1);
}

// What went wrong with one run, or "" when it ended reported or with the unit holding the image.
std::string runOnce(const Plan& p, const std::string& file, const std::vector<std::uint8_t>& ee) {
    SimProcess unit(p.simOptions);
    if (!unit.started()) return "the simulated unit did not start";
    Child flash;
    flash.args = {"flash", "--port", unit.linkPath(), "--file", file, "--progress=json"};
    flash.args.insert(flash.args.end(), p.flashOptions.begin(), p.flashOptions.end());
    flash.bound = bound(p);
    // The longest quiet stretch of a healthy run is one page's ten time-outs or the restart.
    flash.silence = std::chrono::seconds(30);
    const RunResult r = flash.run();
    unit.stop();
    if (r.hung) return "hung";
    const std::string end = r.out.substr(std::min(r.out.rfind("{\"event\":\"end\""), r.out.size()));
    const std::string exit = "\"exit\":" + std::to_string(r.exitCode) + ",";
    // Exit 9 only when no --yes answered the boxes, 8 only when one did; the end event agrees.
    const bool fits = std::string("056789").find(std::to_string(r.exitCode)) != std::string::npos &&
                      r.exitCode != (p.yes ? 9 : 8) && end.find(exit) != std::string::npos &&
                      (end.find("\"outcome\":\"complete\"") != std::string::npos) == !r.exitCode;
    if (!fits) return "exit " + std::to_string(r.exitCode) + " with " + end + r.err.substr(0, 400);
    if (r.exitCode != 0) return "";
    // Reported complete: the EEPROM must hold the image. The flash may not (the bootloader cannot
    // read back a page that arrived damaged), so it is not held to it here.
    const std::size_t updated = p.scope == Scope::FlashOnly ? 0 : p.eeSize;
    std::vector<std::uint8_t> want(p.eeSize, 0xFF);
    std::copy_n(ee.begin(), updated, want.begin());
    return unit.eeprom() == want ? "" : "reported complete, but the EEPROM differs";
}

long long envNumber(const char* name, long long fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::atoll(text) : fallback;
}

std::vector<Plan> plans() {
    const long long replay = envNumber("ONDO_SOAK_REPLAY", -1);
    if (replay >= 0) return {planRun(static_cast<std::uint64_t>(replay))};
    std::vector<Plan> out;
    const auto master = static_cast<std::uint64_t>(envNumber("ONDO_SOAK_SEED", 1));
    for (int i = 0; i < envNumber("ONDO_SOAK_RUNS", 24); ++i) {
        std::uint64_t state = master * 1000003u + static_cast<std::uint64_t>(i);
        out.push_back(planRun(splitMix(state) % 1000000000000ull));  // short enough to type
    }
    return out;
}

TEST(Soak, SeededFaultsEndReportedOrWithTheUnitHoldingTheImage) {
    // The firmware: a code byte at every flash address and 2048 EEPROM bytes.
    std::vector<std::uint8_t> flash, ee;
    std::uint64_t state = 20240611;
    for (int a = 0; a < 32769 + 2048; ++a)
        (a < 32769 ? flash : ee).push_back(splitMix(state) & 0xFF);
    const TempFolder folder;
    writeFile(folder.file("soak.HXF"), hxfFile(flash, ee));
    const std::vector<Plan> all = plans();
    std::atomic<std::size_t> next{0};
    std::mutex report;
    auto worker = [&] {
        for (std::size_t i = next++; i < all.size(); i = next++) {
            const std::string fault = runOnce(all[i], folder.file("soak.HXF"), ee);
            const std::lock_guard<std::mutex> lock(report);
            EXPECT_EQ(fault, "") << "replay: tests/soak/soak.sh --replay " << all[i].seed;
        }
    };
    std::vector<std::thread> threads;
    for (int j = 0; j < std::max(1LL, envNumber("ONDO_SOAK_JOBS", 8)); ++j)
        threads.emplace_back(worker);
    for (std::thread& t : threads) t.join();
}

}  // namespace
}  // namespace ondo::testing
