// SPDX-License-Identifier: GPL-3.0-or-later
// bench_station: the workshop station supervising three units at once against one alone, in the
// same run, each unit on the simulated line at 19,200 bit/s (ondo-unit-sim --pace).
//
//   bench_station [--runs N] [--type TYPE] [--progress text|json|board|all]
//                 (default: 3 runs of AlaR, each form of output)
//
// Each run starts `ondo-flash station --file TYPE.HXF --ports LINK[,LINK,LINK]` with its output
// in a file (so the station prints the plain lines, or with json the events; with board its
// standard error is a pseudo-terminal, which the benchmark reads, and it draws its lines there)
// and times it from the fork to its end. The station's own CPU time is read from /proc/PID/stat
// (utime + stime, which leave out its children) while it is a zombie, before it is reaped (waitid
// WNOWAIT); the workers' time is the children's fields of the same line. A run counts only when the
// station exits 0 and every unit then holds exactly the firmware file's bytes.

#include <pty.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "protocol/bootloader.h"
#include "support/sim_process.h"

namespace ondo::bench {
namespace {

constexpr std::chrono::seconds kRunLimit{600};

struct StationRun {
    bool ok = false;
    std::string problem;
    double wall = 0;
    double ownCpu = 0;      // the station's own user + system time
    double workersCpu = 0;  // its reaped children's (the flash workers)
};

// utime, stime, cutime and cstime of a process, in seconds: fields 14 to 17 of its stat line,
// counted after the command name, which is in parentheses and may hold blanks.
std::vector<double> cpuTimes(pid_t pid) {
    const std::string stat = readWholeFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return {};
    std::istringstream fields(stat.substr(close + 2));
    std::vector<std::string> words{std::istream_iterator<std::string>(fields), {}};
    if (words.size() < 15) return {};
    const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
    std::vector<double> times;
    for (std::size_t i = 11; i <= 14; ++i) times.push_back(std::stod(words[i]) / tick);
    return times;
}

// Reads and drops what waits on fd, as a terminal takes what is drawn on it.
void drain(int fd) {
    char drawn[4096];
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, 0) > 0 && ::read(fd, drawn, sizeof drawn) > 0) continue;
}

// Runs the station to its end; its output goes to `outPath`, or with a terminal its standard
// error to a pseudo-terminal that is read meanwhile.
StationRun runStation(std::vector<std::string> args, const std::string& outPath, bool terminal) {
    StationRun run;
    int master = -1, slave = -1;
    if (terminal && ::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return run;
    for (int fd : {master, slave})
        if (fd >= 0) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(126);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(terminal ? slave : out, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (terminal) ::close(slave);
    siginfo_t info{};
    for (auto until = start + kRunLimit; Clock::now() < until; ::usleep(20000)) {
        if (terminal) drain(master);
        info.si_pid = 0;
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == pid)
            break;
    }
    run.wall = secondsBetween(start, Clock::now());
    if (info.si_pid != pid) {
        ::kill(pid, SIGKILL);
        run.problem = "did not end in time";
    }
    const std::vector<double> times = cpuTimes(pid);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (terminal) ::close(master);
    if (times.size() == 4) {
        run.ownCpu = times[0] + times[1];
        run.workersCpu = times[2] + times[3];
    }
    if (run.problem.empty() && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
        run.problem = "exit status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    run.ok = run.problem.empty() && times.size() == 4;
    return run;
}

struct Setup {
    std::string flashPath, folder, file, type, progress;
    FirmwareBytes bytes;
};

StationRun unitsAtOnce(const Setup& s, int units) {
    std::vector<std::unique_ptr<testing::SimProcess>> sims;
    std::string ports;
    for (int i = 0; i < units; ++i) {
        sims.push_back(std::make_unique<testing::SimProcess>(
            std::vector<std::string>{"--pace", "--type", s.type, "--seed", std::to_string(i + 1)}));
        if (!sims.back()->started()) return {false, sims.back()->error()};
        ports += (ports.empty() ? "" : ",") + sims.back()->linkPath();
    }
    std::vector<std::string> args{s.flashPath, "station", "--file", s.file, "--ports", ports};
    if (s.progress == "json") args.push_back("--progress=json");
    StationRun run = runStation(args, s.folder + "/station.out", s.progress == "board");
    for (auto& sim : sims) {
        if (!sim->control("dump")) run.problem = "no dump";
        if (sim->flash() != s.bytes.code || sim->eeprom() != s.bytes.eeprom)
            run.problem = "a unit does not hold the file's bytes";
    }
    run.ok = run.ok && run.problem.empty();
    return run;
}

void report(const char* what, const std::vector<StationRun>& runs, double aloneWall) {
    std::vector<double> wall, own, share, workers;
    for (const StationRun& r : runs) {
        wall.push_back(r.wall);
        own.push_back(r.ownCpu);
        share.push_back(100.0 * r.ownCpu / r.wall);
        workers.push_back(r.workersCpu);
    }
    std::printf("| %s | %zu | %.2f | %.3f | %.3f | %.2f %% | %.3f |\n", what, runs.size(),
                median(wall), aloneWall > 0 ? median(wall) / aloneWall : 1.0, median(own),
                median(share), median(workers));
}

void measure(Setup s, int runs) {
    std::vector<StationRun> one, three;
    for (int i = 0; i < runs; ++i) {
        for (int units : {1, 3}) {
            const StationRun r = unitsAtOnce(s, units);
            std::printf("# %s, %d unit(s), run %d: %s, wall %.2f s, station CPU %.3f s, load %s\n",
                        s.progress.c_str(), units, i + 1, r.ok ? "ok" : r.problem.c_str(), r.wall,
                        r.ownCpu, loadAverage().c_str());
            std::fflush(stdout);
            if (r.ok) (units == 1 ? one : three).push_back(r);
        }
    }
    std::printf(
        "| output %s, %s | runs | wall s (median) | wall / one alone | station CPU s | station "
        "CPU share | workers' CPU s |\n|---|---|---|---|---|---|---|\n",
        s.progress.c_str(), s.type.c_str());
    std::vector<double> alone;
    for (const StationRun& r : one) alone.push_back(r.wall);
    report("one unit", one, median(alone));
    report("three units at once", three, median(alone));
}

}  // namespace
}  // namespace ondo::bench

int main(int argc, char** argv) {
    using namespace ondo::bench;
    int runs = 3;
    Setup s{ONDO_FLASH_PATH, makeTempFolder("bench-station"), "", "AlaR", "all", {}};
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--type") == 0) s.type = argv[i + 1];
        if (std::strcmp(argv[i], "--progress") == 0) s.progress = argv[i + 1];
    }
    const ondo::UnitType* type = ondo::findUnitType(s.type);
    if (type == nullptr || s.folder.empty()) {
        std::fprintf(stderr, "usage: bench_station [--runs N] [--type TYPE] [--progress FORM]\n");
        return 2;
    }
    s.bytes = makeFirmwareBytes(type->pageCount * type->pageSize, type->eeSize, 26);
    s.file = s.folder + "/" + s.type + ".HXF";
    if (!writeWholeFile(s.file, firmwareText(s.bytes))) return 1;
    printMachine("bench_station");
    for (const char* form : {"text", "json", "board"}) {
        if (s.progress != "all" && s.progress != form) continue;
        Setup one = s;
        one.progress = form;
        measure(one, runs);
    }
    printMachine("bench_station, at the end");
    std::filesystem::remove_all(s.folder);
    return 0;
}
