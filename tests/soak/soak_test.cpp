// The seeded soak: many whole updates through the command-line mode against the simulated unit,
// each with faults drawn from its own seed, every outcome set against the unit's memories.
//
// Environment: ONDO_SOAK_RUNS (default 40, the short form test.sh runs), ONDO_SOAK_SEED (default
// 1), ONDO_SOAK_JOBS (runs at once, default 8; the runs mostly wait on time-outs and use little
// CPU), ONDO_SOAK_REPLAY (one run seed: only that run), ONDO_SOAK_KEEP (a folder for the output
// of runs that did not end verified correct), ONDO_SOAK_REPORT (a file for the table of figures).

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "soak/soak_run.h"

namespace ondo::testing {
namespace {

constexpr int kShortRuns = 40;
constexpr int kDefaultJobs = 8;

long long envNumber(const char* name, long long fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::atoll(text) : fallback;
}

std::vector<SoakPlan> plans() {
    std::vector<SoakPlan> out;
    const long long replay = envNumber("ONDO_SOAK_REPLAY", -1);
    if (replay >= 0) return {planRun(static_cast<std::uint64_t>(replay))};
    const auto master = static_cast<std::uint64_t>(envNumber("ONDO_SOAK_SEED", 1));
    const int runs = static_cast<int>(envNumber("ONDO_SOAK_RUNS", kShortRuns));
    for (int i = 0; i < runs; ++i) out.push_back(planRun(runSeed(master, i)));
    return out;
}

const char* scopeName(Scope scope) {
    return scope == Scope::Whole ? "whole" : scope == Scope::EEOnly ? "ee-only" : "flash-only";
}

std::string line(const SoakResult& r) {
    char text[200];
    std::snprintf(text, sizeof text, "seed %-12llu %s %-10s %-5s exit %2d %-32s %6.1f s  ",
                  static_cast<unsigned long long>(r.plan.seed), r.plan.type.c_str(),
                  scopeName(r.plan.scope), r.plan.yes ? "--yes" : "", r.exitCode,
                  verdictName(r.verdict), r.seconds);
    std::string tail = r.plan.faults;
    if (r.verdict == Verdict::ReportedFailed) tail += "  \"" + r.message + "\"";
    return text + tail + (r.note.empty() ? "" : "  [" + r.note + "]");
}

// Runs every plan, jobs at a time, printing each run as it ends.
std::vector<SoakResult> runAll(const std::vector<SoakPlan>& all, const SoakFirmware& firmware) {
    std::vector<SoakResult> results(all.size());
    std::atomic<std::size_t> next{0};
    std::mutex print;
    auto worker = [&] {
        for (std::size_t i = next++; i < all.size(); i = next++) {
            results[i] = runSoak(all[i], firmware);
            std::lock_guard<std::mutex> lock(print);
            std::cout << "[" << i + 1 << "/" << all.size() << "] " << line(results[i]) << std::endl;
        }
    };
    const int jobs = std::max(1, static_cast<int>(envNumber("ONDO_SOAK_JOBS", kDefaultJobs)));
    std::vector<std::thread> threads;
    for (int j = 0; j < jobs; ++j) threads.emplace_back(worker);
    for (std::thread& t : threads) t.join();
    return results;
}

struct Band {
    const char* name;
    double low;
    double high;
    int counts[6] = {};
};

std::string table(const std::vector<SoakResult>& results) {
    std::vector<Band> bands = {{"0.1 % to 0.5 %", 0, 0.005},
                               {"0.5 % to 1 %", 0.005, 0.01},
                               {"1 % to 2.5 %", 0.01, 0.025},
                               {"2.5 % to 5 %", 0.025, 1}};
    Band all{"all runs", 0, 1};
    double faults = 0, longest = 0, silence = 0;
    for (const SoakResult& r : results) {
        for (Band& b : bands)
            if (r.plan.byteRate >= b.low && r.plan.byteRate < b.high) ++b.counts[int(r.verdict)];
        ++all.counts[int(r.verdict)];
        faults += r.faultsExpected;
        longest = std::max(longest, r.seconds);
        silence = std::max(silence, r.longestSilence);
    }
    bands.push_back(all);
    std::ostringstream out;
    out << "| highest byte fault rate | runs | verified correct | reported failed | "
           "complete, flash wrong | complete, EEPROM wrong | hangs | broken |\n"
        << "|---|---|---|---|---|---|---|---|\n";
    for (const Band& b : bands) {
        int runs = 0;
        for (int c : b.counts) runs += c;
        out << "| " << b.name << " | " << runs;
        for (int c : b.counts) out << " | " << c;
        out << " |\n";
    }
    char figures[200];
    std::snprintf(figures, sizeof figures,
                  "\nByte faults injected (rate x bytes, expected): %.0f. Longest run: %.1f s. "
                  "Longest stretch without output: %.1f s.\n",
                  faults, longest, silence);
    return out.str() + figures;
}

TEST(Soak, SeededFaultsEndReportedOrWithTheUnitHoldingTheImage) {
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("ondo-soak-" + std::to_string(::getpid()) + ".HXF");
    const SoakFirmware firmware(file.string());
    const std::vector<SoakResult> results = runAll(plans(), firmware);
    std::filesystem::remove(file);
    const std::string figures = table(results);
    std::cout << '\n' << figures;
    if (const char* report = std::getenv("ONDO_SOAK_REPORT")) std::ofstream(report) << figures;
    for (const SoakResult& r : results) {
        if (r.verdict == Verdict::FlashWrongOk)
            std::cout << "flash wrong though reported complete: " << replayCommand(r.plan) << '\n';
        EXPECT_NE(r.verdict, Verdict::Hang) << line(r) << "\n  replay: " << replayCommand(r.plan);
        EXPECT_NE(r.verdict, Verdict::Broken) << line(r) << "\n  replay: " << replayCommand(r.plan);
        EXPECT_NE(r.verdict, Verdict::EepromWrongOk)
            << line(r) << "\n  replay: " << replayCommand(r.plan);
    }
}

}  // namespace
}  // namespace ondo::testing
