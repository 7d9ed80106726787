// SPDX-License-Identifier: GPL-3.0-or-later
// bench_update: whole updates from the command line against the simulated unit at the real line
// rate, three runs a unit type, and the medians of where the time went; then the same updates
// through the simulated unit's model of a USB adapter, its latency timer at 16 ms and at 1 ms.
//
//   bench_update [--runs N] [--adapters MS,MS...|none] [TYPE...]
//                (default: 3 runs of AlaR NmaS BmaS EnbS XobS, adapters 16,1)
//
// For each run: ondo-unit-sim --pace --type TYPE, then
// `ondo-flash flash --port LINK --file TYPE.HXF --yes --progress=json`; the JSON lines are
// time-stamped as they arrive, which brackets the page loop and the EEPROM update; wait4 gives
// the utility's CPU time and peak resident memory; the simulated unit counts the bytes on the
// line. A run counts only when it ends with exit status 0 and the unit then holds exactly the
// firmware file's bytes.
//
// Two floors are printed. The byte floor counts every byte on the line, both ways, one after the
// other, plus the sequence's fixed waits and the unit's restart. The exchange floor is what the
// line can actually do: it is full duplex, so the unit's echo of a command overlaps the command
// itself, and the restart and the readings sent meanwhile fall inside the 30-tick restart delay.
// docs/performance.md explains both. An adapter row is set beside the exchange floor of the line
// and beside the same unit's run without the adapter: the adapter adds waits, no bytes.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench_support.h"
#include "flash/sequence.h"
#include "protocol/bootloader.h"
#include "protocol/monitor.h"
#include "support/sim_process.h"

namespace ondo::bench {
namespace {

constexpr double kLineBytesPerSecond = 1920.0;  // 19,200 bit/s, 10 bits a byte
constexpr double kTick = 0.1;                   // seconds
// The waits the sequence prescribes, in ticks: after "m0" in the version check, after the end
// word while the unit restarts, and after the restarted unit's two "tf" (so that a reading still
// on the line when the first went out is taken by the tick's poll, not as the next reply).
constexpr int kVersionSettleTicks = 5;
constexpr int kRestartTicks = 30;
constexpr int kRestartSettleTicks = 5;
constexpr double kAnnouncement = 0.050;  // bootloader's ">" after the entry command's CR
constexpr int kReadingBytes = 21;        // LF "D 14.70 0.998 0812" CR LF
constexpr std::chrono::seconds kRunLimit{600};
constexpr int kSpareRuns = 3;         // runs that may fail (and are replaced) before a row gives up
const char* const kVersion = "0024";  // the simulated unit's default version text

// The bytes of one whole update as the sequence exchanges them, readings left out.
struct Transcript {
    long long toUnit = 0;
    long long fromUnit = 0;
    long long critical = 0;  // byte times that cannot overlap on a full-duplex line

    // A monitor command: every byte is echoed as it arrives, so only the echo of the final CR
    // adds to the time; the reply line (LF, text, CR LF) follows it.
    void command(const std::string& text, const std::string& reply) {
        const long long sent = static_cast<long long>(text.size()) + 1;
        const long long replyBytes = reply.empty() ? 0 : static_cast<long long>(reply.size()) + 3;
        toUnit += sent;
        fromUnit += sent + replyBytes;
        critical += sent + 1 + replyBytes;
    }
    // Bootloader bytes: no echo, the answer follows what was sent.
    void boot(long long sent, long long answered) {
        toUnit += sent;
        fromUnit += answered;
        critical += sent + answered;
    }
};

// Bytes of one page frame as the bootloader layer builds it.
long long frameBytes(const UnitType& type) {
    const std::vector<std::uint8_t> page(static_cast<std::size_t>(type.pageSize));
    return static_cast<long long>(bootloader::pageFrame(0, page).size());
}

// Every address written (confirmed by "E " and the address), then read back (answered "A " and
// the byte as four digits). Only the lengths matter here.
void eepromPasses(Transcript& t, int eeSize) {
    for (int address = 0; address < eeSize; ++address) {
        t.command(monitor::writeByte(address, 0), "E " + monitor::addressText(address));
    }
    for (int address = 0; address < eeSize; ++address) {
        t.command(monitor::readByte(address), "A " + monitor::readAnswer(0));
    }
}

Transcript fullUpdate(const UnitType& type) {
    Transcript t;
    const std::string version = std::string("V ") + kVersion;
    t.command(monitor::stopReadings(), "T 0");  // the greeting when the port opens
    t.command(monitor::version(), version);
    t.command(monitor::stopReadings(), "T 0");  // the version check
    t.command(monitor::mode0(), "M 0");
    t.command(monitor::version(), version);
    // No reply line: the bootloader announces itself.
    t.command(monitor::enterBootloader(kVersion), "");
    t.boot(0, 1 + static_cast<long long>(type.id.size()));
    t.boot(1, 1);  // "<" and its answer
    for (int page = 0; page < type.pageCount; ++page) t.boot(frameBytes(type), 1);
    t.boot(static_cast<long long>(bootloader::endWord(type.endWord).size()), 0);
    t.command(monitor::stopReadings(), "T 0");
    t.command(monitor::stopReadings(), "T 0");
    t.command(monitor::version(), version);
    t.command(monitor::mode0(), "M 0");
    eepromPasses(t, type.eeSize);
    t.command(monitor::mode1(), "M 1");
    t.command(monitor::startReadings(), "T 1");
    t.command(monitor::version(), version);
    return t;
}

double pageLoopFloor(const UnitType& type) {
    return static_cast<double>(type.pageCount * (frameBytes(type) + 1)) / kLineBytesPerSecond;
}

double eepromFloor(const UnitType& type) {
    Transcript t;
    eepromPasses(t, type.eeSize);
    return static_cast<double>(t.critical) / kLineBytesPerSecond;
}

// The raw value of "key" in a one-line JSON object: a string without its quotes, or a number.
std::string jsonField(const std::string& line, const std::string& key) {
    const std::string tag = "\"" + key + "\":";
    std::size_t at = line.find(tag);
    if (at == std::string::npos) return {};
    at += tag.size();
    if (at < line.size() && line[at] == '"') {
        const std::size_t end = line.find('"', at + 1);
        return end == std::string::npos ? std::string() : line.substr(at + 1, end - at - 1);
    }
    const std::size_t end = line.find_first_of(",}", at);
    return line.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// Arrival times of the progress events that bracket the phases.
struct Spans {
    double pagesStart = -1, pagesEnd = -1, eeStart = -1, eeEnd = -1;
    double restartStart = -1, restartEnd = -1;
    int restartTicks = -1;  // as the sequence reports its restart delay
    std::string outcome;

    double pages() const { return pagesEnd - pagesStart; }
    double eeprom() const { return eeEnd - eeStart; }
    double restart() const { return restartEnd - restartStart; }
};

void takeProgress(Spans& s, double at, const std::string& line) {
    const std::string phase = jsonField(line, "phase");
    const std::string total = jsonField(line, "total");
    if (phase == "pages") {
        if (s.pagesStart < 0) s.pagesStart = at;
        if (jsonField(line, "page") == total) s.pagesEnd = at;
    } else if (phase == "restart" && s.restartStart < 0) {
        s.restartStart = at;
        s.restartTicks = std::atoi(total.c_str());
    } else if (phase == "firmware" && s.restartEnd < 0) {
        s.restartEnd = at;
    } else if (phase == "eeprom-write" && s.eeStart < 0) {
        s.eeStart = at;
    } else if (phase == "eeprom-verify" && jsonField(line, "address") == total) {
        s.eeEnd = at;
    }
}

Spans spansOf(const std::vector<TimedLine>& lines) {
    Spans s;
    for (const TimedLine& line : lines) {
        const std::string event = jsonField(line.text, "event");
        if (event == "progress") takeProgress(s, line.at, line.text);
        if (event == "end") s.outcome = jsonField(line.text, "outcome");
    }
    return s;
}

struct RunResult {
    bool ok = false;
    std::string problem;
    double wall = 0, pages = 0, eeprom = 0, restartDelay = 0;
    double byteFloor = 0, exchangeFloor = 0;
    double cpu = 0;
    long maxRssKiB = 0;
    long long fromHost = 0, toHost = 0, restartMs = 0, readings = 0;
};

// The flash the unit should hold: the file's code bytes, then what the image holds beyond them
// (zero up to its last address), then erased flash.
bool flashMatches(const std::vector<std::uint8_t>& dump, const FirmwareBytes& bytes) {
    for (std::size_t a = 0; a < dump.size(); ++a) {
        const std::uint8_t want = a < bytes.code.size()                           ? bytes.code[a]
                                  : a < static_cast<std::size_t>(kFlashImageSize) ? 0
                                                                                  : 0xFF;
        if (dump[a] != want) return false;
    }
    return !dump.empty();
}

void takeCounters(RunResult& r, const testing::SimProcess& sim, const UnitType& type) {
    auto stats = sim.stats();
    r.fromHost = stats["bytes_from_host"];
    r.toHost = stats["bytes_to_host"];
    r.restartMs = stats["restart_ms"];
    const Transcript t = fullUpdate(type);
    r.readings = (r.toHost - t.fromUnit) / kReadingBytes;
    const double restart = static_cast<double>(r.restartMs) / 1000.0;
    const double settles = (kVersionSettleTicks + kRestartSettleTicks) * kTick;
    r.byteFloor = static_cast<double>(r.fromHost + r.toHost) / kLineBytesPerSecond + settles +
                  kRestartTicks * kTick + restart;
    // The restart runs inside the restart delay, and the readings it sends meanwhile too.
    r.exchangeFloor = static_cast<double>(t.critical) / kLineBytesPerSecond + kAnnouncement +
                      settles + std::max(kRestartTicks * kTick, restart);
    if (r.fromHost != t.toUnit) {
        r.problem = "the utility sent " + std::to_string(r.fromHost) + " bytes, a clean run " +
                    std::to_string(t.toUnit) + " (retries?)";
    }
}

// The events of a failed run, with their arrival times, for a look afterwards.
void keepLines(const std::vector<TimedLine>& lines, const std::string& path) {
    std::string text;
    for (const TimedLine& line : lines) text += std::to_string(line.at) + " " + line.text + "\n";
    writeWholeFile(path, text);
}

RunResult runOnce(const UnitType& type, int adapterMs, const std::string& file,
                  const FirmwareBytes& bytes, const std::string& folder,
                  const std::string& errPath) {
    RunResult r;
    testing::SimProcess sim(
        {"--pace", "--type", std::string(type.id), "--adapter-latency", std::to_string(adapterMs)});
    if (!sim.started()) {
        r.problem = "simulated unit: " + sim.error();
        return r;
    }
    const ChildRun child = runChild({ONDO_FLASH_PATH, "flash", "--port", sim.linkPath(), "--file",
                                     file, "--yes", "--progress=json"},
                                    kRunLimit, errPath, {{"XDG_CONFIG_HOME", folder + "/config"}});
    sim.stop();
    const Spans spans = spansOf(child.lines);
    r.wall = child.wall;
    r.cpu = child.cpu;
    r.maxRssKiB = child.maxRssKiB;
    r.pages = spans.pages();
    r.eeprom = spans.eeprom();
    r.restartDelay = spans.restart();
    takeCounters(r, sim, type);
    if (spans.restartTicks != kRestartTicks) {
        r.problem = "the sequence now waits " + std::to_string(spans.restartTicks) +
                    " ticks for the restart; the floors here count " +
                    std::to_string(kRestartTicks);
    }
    if (child.timedOut || child.exitStatus != 0 || spans.outcome != "complete") {
        keepLines(child.lines, errPath + ".json");
        r.problem = "exit " + std::to_string(child.exitStatus) + " (" + spans.outcome + ")" +
                    (child.timedOut ? ", killed after the time limit" : "") + "; see " + errPath +
                    ".json";
        return r;
    }
    if (!flashMatches(sim.flash(), bytes) || sim.eeprom() != bytes.eeprom) {
        r.problem = "the unit does not hold the firmware file's bytes";
        return r;
    }
    // A run with retries moved more than the floors count: it is no measure of the link.
    if (!r.problem.empty()) {
        keepLines(child.lines, errPath + ".json");
        r.problem += "; see " + errPath + ".json";
        return r;
    }
    r.ok = true;
    return r;
}

void printRun(const std::string& name, int n, const RunResult& r) {
    std::printf(
        "# %s run %d: wall %.3f s, pages %.3f s, EEPROM %.3f s, restart delay %.3f s, CPU %.3f s, "
        "%lld+%lld bytes, %lld readings, restart %lld ms, load %s%s%s\n",
        name.c_str(), n, r.wall, r.pages, r.eeprom, r.restartDelay, r.cpu, r.fromHost, r.toHost,
        r.readings, r.restartMs, loadAverage().c_str(), r.problem.empty() ? "" : ": ",
        r.problem.c_str());
    std::fflush(stdout);
}

struct Row {
    std::string id;
    int adapterMs = 0;  // the modelled adapter's latency timer; 0: no adapter
    std::string load;
    std::vector<RunResult> runs;
    int failed = 0;
};

double medianOf(const std::vector<RunResult>& runs, double RunResult::*field) {
    std::vector<double> values;
    for (const RunResult& r : runs) values.push_back(r.*field);
    return median(values);
}

std::string runsText(const Row& row) {
    std::string text = std::to_string(row.runs.size());
    if (row.failed > 0) text += " (+" + std::to_string(row.failed) + " failed)";
    return text;
}

void printTimes(const std::vector<Row>& rows) {
    std::printf(
        "\n| unit | runs | wall s | byte floor s | wall/byte floor | exchange floor s | "
        "wall/exchange floor | page loop s | floor s | ratio | EEPROM s | floor s | ratio | "
        "load at start |\n|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const Row& row : rows) {
        if (row.runs.empty() || row.adapterMs != 0) continue;
        const UnitType& type = *findUnitType(row.id);
        const double wall = medianOf(row.runs, &RunResult::wall);
        const double byteFloor = medianOf(row.runs, &RunResult::byteFloor);
        const double exchange = medianOf(row.runs, &RunResult::exchangeFloor);
        const double pages = medianOf(row.runs, &RunResult::pages);
        const double ee = medianOf(row.runs, &RunResult::eeprom);
        std::printf(
            "| %s | %s | %.2f | %.2f | %.3f | %.2f | %.3f | %.2f | %.2f | %.3f | %.2f | %.2f | "
            "%.3f | %s |\n",
            row.id.c_str(), runsText(row).c_str(), wall, byteFloor, wall / byteFloor, exchange,
            wall / exchange, pages, pageLoopFloor(type), pages / pageLoopFloor(type), ee,
            eepromFloor(type), ee / eepromFloor(type), row.load.c_str());
    }
}

void printCosts(const std::vector<Row>& rows) {
    std::printf(
        "\n| unit | CPU s (user+system) | CPU share of wall | peak resident MiB |\n"
        "|---|---|---|---|\n");
    for (const Row& row : rows) {
        if (row.runs.empty() || row.adapterMs != 0) continue;
        std::vector<double> shares, rss;
        for (const RunResult& r : row.runs) {
            shares.push_back(r.cpu / r.wall);
            rss.push_back(static_cast<double>(r.maxRssKiB) / 1024.0);
        }
        std::printf("| %s | %.3f | %.2f %% | %.1f |\n", row.id.c_str(),
                    medianOf(row.runs, &RunResult::cpu), 100.0 * median(shares), median(rss));
    }
}

// The adapter rows: each beside the line's exchange floor and the same unit without the adapter.
void printAdapters(const std::vector<Row>& rows) {
    if (std::none_of(rows.begin(), rows.end(), [](const Row& r) { return r.adapterMs != 0; }))
        return;
    std::printf(
        "\n| unit | latency timer ms | runs | wall s | exchange floor s | wall/exchange floor | "
        "wall/without adapter | page loop s | EEPROM s | load at start |\n"
        "|---|---|---|---|---|---|---|---|---|---|\n");
    for (const Row& row : rows) {
        if (row.runs.empty() || row.adapterMs == 0) continue;
        double plain = 0;
        for (const Row& line : rows) {
            if (line.id == row.id && line.adapterMs == 0 && !line.runs.empty())
                plain = medianOf(line.runs, &RunResult::wall);
        }
        const double wall = medianOf(row.runs, &RunResult::wall);
        const double exchange = medianOf(row.runs, &RunResult::exchangeFloor);
        char ratio[16] = "-";
        if (plain > 0) std::snprintf(ratio, sizeof ratio, "%.3f", wall / plain);
        std::printf("| %s | %d | %s | %.2f | %.2f | %.3f | %s | %.2f | %.2f | %s |\n",
                    row.id.c_str(), row.adapterMs, runsText(row).c_str(), wall, exchange,
                    wall / exchange, ratio, medianOf(row.runs, &RunResult::pages),
                    medianOf(row.runs, &RunResult::eeprom), row.load.c_str());
    }
}

Row benchType(const UnitType& type, int adapterMs, int runs, const std::string& folder) {
    Row row{std::string(type.id), adapterMs, loadAverage(), {}, 0};
    const std::string name =
        row.id + (adapterMs > 0 ? " adapter " + std::to_string(adapterMs) + " ms" : "");
    const std::string stem = row.id + (adapterMs > 0 ? "-adapter" + std::to_string(adapterMs) : "");
    const int codeBytes = std::min(type.pageCount * type.pageSize, kFlashImageSize - 1);
    const FirmwareBytes bytes = makeFirmwareBytes(codeBytes, type.eeSize, 0x0DD0u + type.pageSize);
    const std::string file = folder + "/" + row.id + ".HXF";
    if (!writeWholeFile(file, firmwareText(bytes))) {
        std::printf("# %s: cannot write %s\n", row.id.c_str(), file.c_str());
        return row;
    }
    // A failed run is reported and replaced, a few times at most, so that a row still has its
    // runs; the failures stay on the record above the table.
    for (int n = 1; static_cast<int>(row.runs.size()) < runs && n <= runs + kSpareRuns; ++n) {
        const std::string errPath = folder + "/" + stem + "-" + std::to_string(n) + ".stderr";
        const RunResult r = runOnce(type, adapterMs, file, bytes, folder, errPath);
        printRun(name, n, r);
        if (r.ok) {
            row.runs.push_back(r);
        } else {
            ++row.failed;
        }
    }
    return row;
}

int usage() {
    std::fprintf(stderr,
                 "usage: bench_update [--runs N] [--adapters MS,MS...|none] "
                 "[AlaR|NmaS|BmaS|EnbS|XobS ...]\n");
    return 2;
}

}  // namespace
}  // namespace ondo::bench

int main(int argc, char** argv) {
    using namespace ondo::bench;
    int runs = 3;
    std::vector<std::string> types;
    std::vector<int> adapters{16, 1};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--adapters" && i + 1 < argc) {
            adapters.clear();
            const std::string list = argv[++i];
            for (std::size_t at = 0; list != "none" && at <= list.size();) {
                const std::size_t comma = std::min(list.find(',', at), list.size());
                const int ms = std::atoi(list.substr(at, comma - at).c_str());
                if (ms <= 0) return usage();
                adapters.push_back(ms);
                at = comma + 1;
            }
        } else if (ondo::findUnitType(arg)) {
            types.push_back(arg);
        } else {
            return usage();
        }
    }
    if (types.empty()) types = {"AlaR", "NmaS", "BmaS", "EnbS", "XobS"};
    const std::string folder = makeTempFolder("ondo-bench-update");
    if (folder.empty()) return 1;
    printMachine("bench_update");
    std::vector<Row> rows;
    for (const std::string& id : types)
        rows.push_back(benchType(*ondo::findUnitType(id), 0, runs, folder));
    for (const int ms : adapters) {
        for (const std::string& id : types)
            rows.push_back(benchType(*ondo::findUnitType(id), ms, runs, folder));
    }
    printTimes(rows);
    printCosts(rows);
    printAdapters(rows);
    printMachine("bench_update finished");
    int failed = 0;
    for (const Row& row : rows) failed += row.failed;
    if (failed > 0) {
        std::printf("# %d run(s) failed and were replaced; their output is kept in %s\n", failed,
                    folder.c_str());
        return 1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
