// The seeded soak: many whole updates through the command-line mode against the simulated unit,
// each with faults drawn from its own seed (the same seed gives the same plan, so a failing run
// is replayed by its seed), every outcome set against what the unit holds afterwards.
//
// Environment: ONDO_SOAK_RUNS (default 40, the short form test.sh runs), ONDO_SOAK_SEED (default
// 1), ONDO_SOAK_JOBS (runs at once, default 8; they mostly wait on time-outs), ONDO_SOAK_REPLAY
// (one run seed: only that run), ONDO_SOAK_KEEP (a folder for the output of runs that did not end
// verified correct), ONDO_SOAK_REPORT (a file for the table of figures).

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "support/hxf_file.h"
#include "support/run.h"
#include "support/sim_process.h"

namespace ondo::testing {
namespace {

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

std::uint64_t splitMix(std::uint64_t& state);

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
    if (plan.scope == Scope::EEOnly)
        plan.flashOptions.insert(plan.flashOptions.end(), {"--ee-only", "--ee-size", plan.type});
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

enum class Verdict {
    Correct,         // reported complete, and the unit holds the image
    ReportedFailed,  // reported failed (exit 5 to 9)
    FlashWrongOk,    // reported complete, but the flash differs: the bootloader cannot read back
    EepromWrongOk,   // reported complete, but the EEPROM differs: must never happen
    Hang,            // the run outlived its bound or went silent too long, and was killed
    Broken,          // an exit status that does not fit the run, a crash, or a harness failure
};

// The firmware the soak flashes: a code byte at every flash address and 2048 EEPROM bytes,
// drawn from a fixed seed so that every page differs.
struct SoakFirmware {
    explicit SoakFirmware(const std::string& path);
    std::string path;
    std::vector<std::uint8_t> flash, eeprom;
};

struct SoakResult {
    SoakPlan plan;
    Verdict verdict = Verdict::Broken;
    int exitCode = -1;
    std::string outcome;  // the "end" event's outcome
    std::string message;  // and its message: the last error, or "complete"
    bool flashRight = false;
    bool eepromRight = false;
    double seconds = 0;
    double longestSilence = 0;  // the longest stretch without a line of progress output
    double faultsExpected = 0;  // the byte rates times the bytes they applied to
    std::string note;           // why a run is Broken or hung
};

// With no output for this long a run counts as hung: the longest quiet stretch of a healthy run
// is one page's series of retries, ten time-outs of 0.6 s, or the 3 s restart wait; five times
// that leaves room for a loaded machine.
inline constexpr std::chrono::seconds kSilenceBound{30};

constexpr int kFlashBytes = 32769;  // code-flash addresses 0 to 32768
constexpr int kEepromBytes = 2048;
constexpr std::uint64_t kImageSeed = 20240611;

std::string field(const std::string& line, const std::string& key) {
    const std::size_t at = line.find("\"" + key + "\":\"");
    if (at == std::string::npos) return {};
    const std::size_t from = at + key.size() + 4;
    std::size_t to = from;
    while (to < line.size() && line[to] != '"') to += line[to] == '\\' ? 2 : 1;
    return line.substr(from, std::min(to, line.size()) - from);
}

bool endEvent(const std::string& json, std::string& outcome, std::string& message, int& exitCode) {
    const std::size_t at = json.rfind("{\"event\":\"end\"");
    if (at == std::string::npos) return false;
    const std::string line = json.substr(at, json.find('\n', at) - at);
    const std::size_t x = line.find("\"exit\":");
    if (x == std::string::npos) return false;
    outcome = field(line, "outcome");
    message = field(line, "message");
    exitCode = std::atoi(line.c_str() + x + 7);
    return true;
}

bool flashHolds(const std::vector<std::uint8_t>& dump, const SoakPlan& plan,
                const SoakFirmware& firmware) {
    const std::size_t size = static_cast<std::size_t>(plan.pageSize) * plan.pageCount;
    if (dump.size() != size) return false;
    for (std::size_t a = 0; a < size; ++a) {
        const std::uint8_t expected = a < firmware.flash.size() ? firmware.flash[a] : 0xFF;
        const std::uint8_t untouched = 0xFF;
        if (dump[a] != (plan.scope == Scope::EEOnly ? untouched : expected)) return false;
    }
    return true;
}

// The EEPROM addresses a run updates: all of the unit's (an EE only run is told the unit's type
// with --ee-size, as it learns none from a bootloader), none on a flash only run.
std::size_t eepromUpdated(const SoakPlan& plan) {
    return plan.scope == Scope::FlashOnly ? 0 : static_cast<std::size_t>(plan.eeSize);
}

bool eepromHolds(const std::vector<std::uint8_t>& dump, const SoakPlan& plan,
                 const SoakFirmware& firmware) {
    if (dump.size() != static_cast<std::size_t>(plan.eeSize)) return false;
    const std::size_t updated = eepromUpdated(plan);
    for (std::size_t a = 0; a < dump.size(); ++a) {
        const std::uint8_t expected = a < updated ? firmware.eeprom[a] : 0xFF;
        if (dump[a] != expected) return false;
    }
    return true;
}

// Which pages differ from the image, and what they hold instead: another page of the image
// (a page number damaged on the line), erased flash (a page never stored), or other bytes.
std::string flashDifference(const std::vector<std::uint8_t>& dump, const SoakPlan& plan,
                            const SoakFirmware& firmware) {
    const std::size_t size = static_cast<std::size_t>(plan.pageSize);
    auto imagePage = [&](int page) {
        std::vector<std::uint8_t> bytes;
        for (std::size_t i = 0; i < size; ++i) {
            const std::size_t a = static_cast<std::size_t>(page) * size + i;
            bytes.push_back(a < firmware.flash.size() ? firmware.flash[a] : 0xFF);
        }
        return bytes;
    };
    std::string text;
    for (int page = 0; page < plan.pageCount && dump.size() >= size * plan.pageCount; ++page) {
        const auto begin = dump.begin() + static_cast<std::ptrdiff_t>(page * size);
        const std::vector<std::uint8_t> held(begin, begin + static_cast<std::ptrdiff_t>(size));
        if (held == imagePage(page)) continue;
        std::string what = "other bytes";
        if (std::all_of(held.begin(), held.end(), [](std::uint8_t b) { return b == 0xFF; }))
            what = "erased";
        for (int other = 0; other < plan.pageCount; ++other)
            if (other != page && held == imagePage(other)) what = "page " + std::to_string(other);
        text += (text.empty() ? "" : "; ") + ("page " + std::to_string(page) + " holds " + what);
    }
    return text;
}

double optionRate(const SoakPlan& plan, const std::string& option) {
    const auto it = std::find(plan.simOptions.begin(), plan.simOptions.end(), option);
    return it == plan.simOptions.end() || it + 1 == plan.simOptions.end()
               ? 0
               : std::atof((it + 1)->c_str());
}

// Faults the rates stand for: bytes to the unit lost or flipped, bytes from it damaged.
double expectedFaults(const SoakPlan& plan, const std::map<std::string, long long>& stats) {
    const auto count = [&](const char* key) {
        const auto it = stats.find(key);
        return it == stats.end() ? 0.0 : static_cast<double>(it->second);
    };
    const double toUnit = count("bytes_from_host");
    const double drop = optionRate(plan, "--drop-rate");
    const double flip = optionRate(plan, "--flip-rate");
    const double damage = optionRate(plan, "--fault-rate");
    const double sent = count("bytes_to_host");
    return toUnit * (drop + (1 - drop) * flip) + sent / (1 - damage / 2) * damage;
}

// Whether the exit status fits the run: 9 only when no --yes answered the boxes, 8 only when it
// did, and the final event says the same.
bool exitFits(const SoakResult& r, bool endSeen, int endExit) {
    static const int kReported[] = {0, 5, 6, 7, 8, 9};
    if (std::find(std::begin(kReported), std::end(kReported), r.exitCode) == std::end(kReported))
        return false;
    if (!endSeen || endExit != r.exitCode) return false;
    if ((r.outcome == "complete") != (r.exitCode == 0)) return false;
    if (r.plan.yes && r.exitCode == 9) return false;
    if (!r.plan.yes && r.exitCode == 8) return false;
    return true;
}

Verdict judge(const SoakResult& r) {
    if (r.exitCode != 0) return Verdict::ReportedFailed;
    if (!r.eepromRight) return Verdict::EepromWrongOk;
    if (!r.flashRight) return Verdict::FlashWrongOk;
    return Verdict::Correct;
}

void conclude(SoakResult& r, const RunResult& run, SimProcess& unit, const SoakFirmware& firmware) {
    r.seconds = run.seconds;
    r.longestSilence = run.longestSilence;
    unit.stop();
    r.flashRight = flashHolds(unit.flash(), r.plan, firmware);
    r.eepromRight = eepromHolds(unit.eeprom(), r.plan, firmware);
    r.faultsExpected = expectedFaults(r.plan, unit.stats());
    if (run.hung) {
        r.verdict = Verdict::Hang;
        r.note = "killed after " + std::to_string(run.seconds) + " s";
    } else {
        r.exitCode = run.exitCode;
        int endExit = -1;
        const bool endSeen = endEvent(run.out, r.outcome, r.message, endExit);
        if (!exitFits(r, endSeen, endExit)) {
            r.verdict = Verdict::Broken;
            r.note = "exit " + std::to_string(r.exitCode) + ", end event " +
                     (endSeen ? r.outcome + " " + std::to_string(endExit) : "missing") + "; " +
                     run.err.substr(0, 400);
        } else {
            r.verdict = judge(r);
            if (r.verdict == Verdict::FlashWrongOk)
                r.note = flashDifference(unit.flash(), r.plan, firmware);
        }
    }
    // With ONDO_SOAK_KEEP naming a folder, the output of every run that did not end verified
    // correct is kept there as SEED.out (the JSON events) and SEED.err (the status texts).
    const char* keep = std::getenv("ONDO_SOAK_KEEP");
    if (keep == nullptr || *keep == '\0' || r.verdict == Verdict::Correct) return;
    const std::string base = std::string(keep) + "/" + std::to_string(r.plan.seed);
    writeFile(base + ".out", run.out);
    writeFile(base + ".err", run.err);
}

const char* verdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::Correct:
            return "verified correct";
        case Verdict::ReportedFailed:
            return "reported failed";
        case Verdict::FlashWrongOk:
            return "reported complete, flash wrong";
        case Verdict::EepromWrongOk:
            return "reported complete, EEPROM wrong";
        case Verdict::Hang:
            return "hang";
        case Verdict::Broken:
            return "broken";
    }
    return "?";
}

SoakFirmware::SoakFirmware(const std::string& file) : path(file) {
    std::uint64_t state = kImageSeed;
    for (int a = 0; a < kFlashBytes; ++a) flash.push_back(splitMix(state) & 0xFF);
    for (int a = 0; a < kEepromBytes; ++a) eeprom.push_back(splitMix(state) & 0xFF);
    writeFile(path, hxfFile(flash, eeprom));
}

SoakResult runSoak(const SoakPlan& plan, const SoakFirmware& firmware) {
    SoakResult r;
    r.plan = plan;
    SimProcess unit(plan.simOptions);
    if (!unit.started()) {
        r.note = "the simulated unit did not start: " + unit.error();
        return r;
    }
    Child flash;
    flash.args = {"flash", "--port", unit.linkPath(), "--file", firmware.path, "--progress=json"};
    flash.args.insert(flash.args.end(), plan.flashOptions.begin(), plan.flashOptions.end());
    flash.home = unit.folder();
    flash.bound = std::chrono::seconds(static_cast<long>(plan.boundSeconds()) + 1);
    flash.silence = kSilenceBound;
    conclude(r, flash.run(), unit, firmware);
    return r;
}

std::string replayCommand(const SoakPlan& plan) {
    return "tests/soak/soak.sh --replay " + std::to_string(plan.seed);
}

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
    if (const char* report = std::getenv("ONDO_SOAK_REPORT")) writeFile(report, figures);
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
