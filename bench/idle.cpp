// SPDX-License-Identifier: GPL-3.0-or-later
// bench_idle: how much of a core the utility takes while it waits, as CPU seconds (user +
// system, from getrusage) over wall seconds of the measured span.
//
//   bench_idle [SECONDS]        (default 10 s a span)
//
// (a) The window (Form1, offscreen) with its port open on the simulated unit: sitting open on a
//     silent unit; Start pressed again and again against the silent unit (every reply wait runs
//     to its time-out); sitting open while the unit streams a reading every 100 ms.
// (b) The command-line mode: the real `ondo-flash flash` against a silent unit, whole process
//     (start-up included); and the parts the command line is built from (its face, the Qt wait,
//     the link and the 100 ms tick on a QCoreApplication) waiting on a silent unit and sitting
//     in the 30-tick restart delay while readings stream.
// (c) The greeting's version query, Link::GetVersion, 50 times in a row against the unit.
//
// Each part runs in a child process of its own, so that one Qt application does not colour the
// figures of the next.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "cli/cli_face.h"
#include "core/settings.h"
#include "engine/engine.h"
#include "link/link.h"
#include "link/port_map.h"
#include "link/qtwaiter.h"
#include "ports/port_list.h"
#include "protocol/monitor.h"
#include "support/sim_process.h"
#include "window/form1.h"

namespace ondo::bench {
namespace {

using testing::SimProcess;
constexpr std::chrono::seconds kChildLimit{120};
constexpr int kGreetingQueries = 50;
constexpr int kStartUpRuns = 10;
constexpr std::chrono::milliseconds kSettle{3000};  // the window's start-up greetings
constexpr int kDelayTicksPerSecond = 10;
constexpr int kReadingBytes = 21;  // LF "D 14.70 0.998 0812" CR LF
// "v" CR to the unit, the echo of the CR, LF "V 0024" CR LF back: 12 bytes at 1,920 a second.
constexpr double kQueryLineTime = 12 / 1920.0;

double gSpan = 10.0;  // seconds a measured span lasts
std::string gFolder;  // the benchmark's temporary folder

struct Usage {
    double wall = 0;
    double cpu = 0;
};

// CPU and wall time of the calling process over `body`.
Usage measure(const std::function<void()>& body) {
    rusage before{}, after{};
    ::getrusage(RUSAGE_SELF, &before);
    const auto start = Clock::now();
    body();
    const double wall = secondsBetween(start, Clock::now());
    ::getrusage(RUSAGE_SELF, &after);
    return {wall, cpuSeconds(after) - cpuSeconds(before)};
}

void printRow(const std::string& what, const Usage& u, const std::string& note = "") {
    std::printf("| %s | %.2f | %.4f | %.3f %% | %s | %s |\n", what.c_str(), u.wall, u.cpu,
                100.0 * u.cpu / u.wall, loadAverage().c_str(), note.c_str());
    std::fflush(stdout);
}

// A settings store of its own, with COM1 standing for the simulated unit.
std::unique_ptr<Settings> storeFor(const SimProcess& sim, const std::string& name) {
    auto settings = std::make_unique<Settings>(gFolder + "/" + name + ".ini");
    settings->overridePort(1, sim.linkPath());
    settings->saveKeySetting("port", "COM1");
    settings->saveKeySetting("flashFile", gFolder + "/AlaR.HXF");
    return settings;
}

// Runs the event loop for a while.
void runLoopFor(std::chrono::milliseconds span) {
    QTimer::singleShot(span, Qt::PreciseTimer, QCoreApplication::instance(),
                       &QCoreApplication::quit);
    QCoreApplication::exec();
}

void runLoopForSpan() {
    runLoopFor(std::chrono::milliseconds(static_cast<long>(gSpan * 1000)));
}

struct Window {
    explicit Window(const SimProcess& sim, const std::string& name)
        : settings(storeFor(sim, name)),
          serial(makeMappedLibrary(*settings)),
          form(window::Form1::Services{
              *settings, *serial, waiter, [](QWidget*, const MessageBox&) { return Answer::Ok; },
              [](QWidget*, const std::string& preset) { return preset; }}) {
        form.Form_Load();
        form.show();
        // The first focus on the port list opens the port again and greets the unit once more.
        runLoopFor(kSettle);
    }
    std::unique_ptr<Settings> settings;
    std::unique_ptr<sio::SerialLibrary> serial;
    QtWaiter waiter;
    window::Form1 form;
};

void windowOnSilentUnit() {
    SimProcess sim({"--pace", "--silent"});
    Window w(sim, "window-silent");
    printRow("window open, port open, silent unit", measure(runLoopForSpan),
             w.form.link().PortOpen ? "" : "port NOT open");
    int presses = 0;
    const Usage u = measure([&] {
        const auto start = Clock::now();
        while (secondsBetween(start, Clock::now()) < gSpan) {
            w.form.btnFlashStart_Click();  // every reply wait runs to its time-out
            ++presses;
        }
    });
    printRow("window, Start against a silent unit (reply time-outs)", u,
             std::to_string(presses) + " presses, each ending \"No Comms?\"");
}

// Bytes the unit has sent so far, from its counters.
long long bytesFromUnit(SimProcess& sim) {
    if (!sim.control("dump")) return -1;
    return sim.stats()["bytes_to_host"];
}

std::string readingsNote(long long bytes) {
    return std::to_string(bytes) + " bytes from the unit, about " +
           std::to_string(bytes / kReadingBytes) + " readings";
}

void windowWithReadings() {
    SimProcess sim({"--pace"});
    Window w(sim, "window-readings");
    // The greeting stopped the readings; start them again.
    w.form.link().TxCommand(monitor::startReadings());
    const long long before = bytesFromUnit(sim);
    const Usage u = measure(runLoopForSpan);
    printRow("window open, readings every 100 ms", u, readingsNote(bytesFromUnit(sim) - before));
}

int windowPart(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    windowOnSilentUnit();
    windowWithReadings();
    return 0;
}

// The command line's engine: its face (JSON, as programs drive it), the Qt wait, the link on
// the POSIX serial library and the 100 ms tick, as `ondo-flash flash` puts them together.
struct CliEngine {
    explicit CliEngine(const SimProcess& sim, const std::string& name)
        : settings(storeFor(sim, name)),
          face(CliOptions{false, true, false, false}, ""),
          serial(makeMappedLibrary(*settings)),
          engine(*serial, waiter, face) {
        engine.reset();
        QObject::connect(&timer, &QTimer::timeout, [this] { engine.tick(); });
        timer.start(std::chrono::milliseconds(100));
        openNamedPort(link, face, "COM1");  // opens the port and greets the unit
    }
    std::unique_ptr<Settings> settings;
    CliFace face;
    std::unique_ptr<sio::SerialLibrary> serial;
    QtWaiter waiter;
    Engine engine;
    Link& link = engine.link();
    QTimer timer;
};

void cliWaits() {
    SimProcess sim({"--pace", "--silent"});
    CliEngine engine(sim, "cli-silent");
    int waits = 0;
    const Usage u = measure([&] {
        const auto start = Clock::now();
        for (; secondsBetween(start, Clock::now()) < gSpan; ++waits) engine.link.GetResponse();
    });
    printRow("command-line engine, reply waits on a silent unit", u,
             std::to_string(waits) + " time-outs");
}

void cliReadings() {
    SimProcess sim({"--pace"});
    CliEngine engine(sim, "cli-readings");
    engine.link.TxCommand(monitor::startReadings());
    engine.link.GetResponse();
    const long long before = bytesFromUnit(sim);
    const Usage u =
        measure([&] { engine.link.DelayTicks(static_cast<int>(gSpan * kDelayTicksPerSecond)); });
    printRow("command-line engine, tick delay while readings stream", u,
             readingsNote(bytesFromUnit(sim) - before));
}

void greetingLoop() {
    SimProcess sim({"--pace"});
    CliEngine engine(sim, "greeting");
    int answered = 0;
    std::vector<double> each;
    const Usage u = measure([&] {
        for (int n = 0; n < kGreetingQueries; ++n) {
            const auto start = Clock::now();
            answered += engine.link.GetVersion() == 0x24;
            each.push_back(secondsBetween(start, Clock::now()));
        }
    });
    char note[160];
    std::snprintf(note, sizeof note,
                  "%d of %d answered \"0024\"; a query %.2f ms (median, longest %.2f), the line "
                  "needs %.2f",
                  answered, kGreetingQueries, median(each) * 1e3,
                  *std::max_element(each.begin(), each.end()) * 1e3, kQueryLineTime * 1e3);
    printRow("GetVersion x 50 against the unit (paced)", u, note);
}

int cliPart(int argc, char** argv, bool greeting) {
    QCoreApplication app(argc, argv);
    std::ostringstream quiet;  // the face's JSON events are not the benchmark's output
    std::streambuf* const out = std::cout.rdbuf(quiet.rdbuf());
    if (greeting) {
        greetingLoop();
    } else {
        cliWaits();
        cliReadings();
    }
    std::cout.rdbuf(out);
    return 0;
}

// The real program as a child: whole runs against a silent unit, start-up included.
void cliProcess() {
    SimProcess sim({"--pace", "--silent"});
    Usage total;
    int runs = 0, fives = 0;
    while (total.wall < gSpan) {
        const ChildRun run = runChild({ONDO_FLASH_PATH, "flash", "--port", sim.linkPath(), "--file",
                                       gFolder + "/AlaR.HXF", "--yes", "--progress=json"},
                                      kChildLimit, gFolder + "/cli.stderr",
                                      {{"XDG_CONFIG_HOME", gFolder + "/config"}});
        total.wall += run.wall;
        total.cpu += run.cpu;
        ++runs;
        fives += run.exitStatus == 5;
    }
    printRow("ondo-flash flash against a silent unit, whole process", total,
             std::to_string(runs) + " runs, " + std::to_string(fives) +
                 " ended with exit status 5 (no comms)");
}

// What the program costs before and after any wait: start-up, a firmware file read, shut-down.
void cliStartUp() {
    Usage total;
    int runs = 0;
    for (; runs < kStartUpRuns; ++runs) {
        const ChildRun run = runChild({ONDO_FLASH_PATH, "check", gFolder + "/AlaR.HXF"},
                                      kChildLimit, gFolder + "/check.stderr");
        total.wall += run.wall;
        total.cpu += run.cpu;
    }
    char note[96];
    std::snprintf(note, sizeof note, "%d runs: %.1f ms CPU a run", runs, total.cpu / runs * 1e3);
    printRow("ondo-flash check FILE, whole process (start-up, no wait)", total, note);
}

// Runs one part in a child process and waits for it.
void inChild(const std::function<int()> part) {
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int status = part();
        std::fflush(stdout);
        ::_exit(status);
    }
    int status = 0;
    if (pid > 0) ::waitpid(pid, &status, 0);
}

bool writeFirmware() {
    const FirmwareBytes bytes = makeFirmwareBytes(124 * 64, 512, 0x1D1Eu);
    return writeWholeFile(gFolder + "/AlaR.HXF", firmwareText(bytes));
}

}  // namespace
}  // namespace ondo::bench

int main(int argc, char** argv) {
    using namespace ondo::bench;
    if (argc > 1) gSpan = std::max(1.0, std::atof(argv[1]));
    gFolder = makeTempFolder("ondo-bench-idle");
    if (gFolder.empty() || !writeFirmware()) return 1;
    printMachine("bench_idle");
    std::printf(
        "\n| what | wall s | CPU s | CPU share | load average | note |\n"
        "|---|---|---|---|---|---|\n");
    inChild([&] { return windowPart(argc, argv); });
    inChild([&] { return cliPart(argc, argv, false); });
    cliProcess();
    cliStartUp();
    inChild([&] { return cliPart(argc, argv, true); });
    printMachine("bench_idle finished");
    std::error_code ignored;
    std::filesystem::remove_all(gFolder, ignored);
    return 0;
}
