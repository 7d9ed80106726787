#include "soak/soak_run.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>

#include "soak/flash_process.h"
#include "support/sim_process.h"

namespace ondo::testing {

namespace {

constexpr int kFlashBytes = 32769;  // code-flash addresses 0 to 32768
constexpr int kEepromBytes = 2048;
constexpr int kRecordBytes = 16;
constexpr std::uint64_t kImageSeed = 20240611;
constexpr std::size_t kStartUpEESize = 512;  // the utility's EEPROM size before any identification

// One record of the firmware file: kind, ":", count, address, type 00, data, checksum.
std::string record(char kind, int address, const std::uint8_t* data, int count) {
    char field[4];
    unsigned sum = 0;
    std::string line{kind, ':'};
    auto put = [&](unsigned byte) {
        std::snprintf(field, sizeof field, "%02X", byte & 0xFFu);
        line += field;
        sum += byte;
    };
    put(static_cast<unsigned>(count));
    put(static_cast<unsigned>(address >> 8));
    put(static_cast<unsigned>(address & 0xFF));
    put(0);
    for (int i = 0; i < count; ++i) put(data[i]);
    put((0x100 - (sum & 0xFF)) & 0xFF);
    return line + "\r\n";
}

void writeRecords(std::ofstream& out, char kind, const std::vector<std::uint8_t>& bytes) {
    const int size = static_cast<int>(bytes.size());
    for (int address = 0; address < size; address += kRecordBytes) {
        out << record(kind, address, bytes.data() + address,
                      std::min(kRecordBytes, size - address));
    }
}

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

// The EEPROM addresses a run updates: all of the unit's, except on an EE only run, which learns
// no unit type (that comes from the bootloader's identification) and so updates the 512 bytes
// the utility assumes at start-up; the rest stays as it was.
std::size_t eepromUpdated(const SoakPlan& plan) {
    if (plan.scope == Scope::FlashOnly) return 0;
    const std::size_t size = static_cast<std::size_t>(plan.eeSize);
    return plan.scope == Scope::EEOnly ? std::min<std::size_t>(kStartUpEESize, size) : size;
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

void conclude(SoakResult& r, const FlashProcess& flash, int status, SimProcess& unit,
              const SoakFirmware& firmware) {
    r.seconds = flash.seconds();
    r.longestSilence = flash.longestSilence();
    unit.stop();
    r.flashRight = flashHolds(unit.flash(), r.plan, firmware);
    r.eepromRight = eepromHolds(unit.eeprom(), r.plan, firmware);
    r.faultsExpected = expectedFaults(r.plan, unit.stats());
    if (flash.hung()) {
        r.verdict = Verdict::Hang;
        r.note = "killed after " + std::to_string(flash.seconds()) + " s";
        return;
    }
    r.exitCode = status;
    int endExit = -1;
    const bool endSeen = endEvent(flash.output(), r.outcome, r.message, endExit);
    if (!exitFits(r, endSeen, endExit)) {
        r.verdict = Verdict::Broken;
        r.note = "exit " + std::to_string(r.exitCode) + ", end event " +
                 (endSeen ? r.outcome + " " + std::to_string(endExit) : "missing") + "; " +
                 flash.errors().substr(0, 400);
        return;
    }
    r.verdict = judge(r);
    if (r.verdict == Verdict::FlashWrongOk)
        r.note = flashDifference(unit.flash(), r.plan, firmware);
}

// With ONDO_SOAK_KEEP naming a folder, the output of every run that did not end verified
// correct is kept there as SEED.out (the JSON events) and SEED.err (the status texts).
void keepOutput(const SoakResult& r, const FlashProcess& flash) {
    const char* keep = std::getenv("ONDO_SOAK_KEEP");
    if (keep == nullptr || *keep == '\0' || r.verdict == Verdict::Correct) return;
    const std::string base = std::string(keep) + "/" + std::to_string(r.plan.seed);
    std::ofstream(base + ".out", std::ios::binary) << flash.output();
    std::ofstream(base + ".err", std::ios::binary) << flash.errors();
}

}  // namespace

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
    for (int a = 0; a < kFlashBytes; ++a)
        flash.push_back(static_cast<std::uint8_t>(splitMix(state)));
    for (int a = 0; a < kEepromBytes; ++a)
        eeprom.push_back(static_cast<std::uint8_t>(splitMix(state)));
    std::ofstream out(path, std::ios::binary);
    out << "! soak firmware: every flash address and 2048 EEPROM bytes\r\n";
    writeRecords(out, 'C', flash);
    writeRecords(out, 'E', eeprom);
}

SoakResult runSoak(const SoakPlan& plan, const SoakFirmware& firmware) {
    SoakResult r;
    r.plan = plan;
    SimProcess unit(plan.simOptions);
    if (!unit.started()) {
        r.note = "the simulated unit did not start: " + unit.error();
        return r;
    }
    std::vector<std::string> args = {"flash",  "--port",      unit.linkPath(),
                                     "--file", firmware.path, "--progress=json"};
    args.insert(args.end(), plan.flashOptions.begin(), plan.flashOptions.end());
    FlashProcess flash(args, unit.folder());
    if (!flash.started()) {
        r.note = std::string("fork: ") + std::strerror(errno);
        return r;
    }
    const auto bound = std::chrono::seconds(static_cast<long>(plan.boundSeconds()) + 1);
    const int status = flash.wait(bound, kSilenceBound);
    conclude(r, flash, status, unit, firmware);
    keepOutput(r, flash);
    return r;
}

std::string replayCommand(const SoakPlan& plan) {
    return "tests/soak/soak.sh --replay " + std::to_string(plan.seed);
}

}  // namespace ondo::testing
