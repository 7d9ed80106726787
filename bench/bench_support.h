// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the benchmarks share: the machine they ran on, medians, firmware files that fill a unit,
// and a child process run with its output lines time-stamped on arrival and its resource usage
// taken by wait4. Figures only; nothing here decides whether a figure is good enough.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace ondo::bench {

using Clock = std::chrono::steady_clock;

inline double secondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

inline double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// User plus system time of a rusage record.
inline double cpuSeconds(const rusage& usage) {
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

inline double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    if (values.size() % 2 == 1) return values[middle];
    return (values[middle - 1] + values[middle]) / 2.0;
}

inline std::string readWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The 1-, 5- and 15-minute load averages as the kernel shows them.
inline std::string loadAverage() {
    std::istringstream line(readWholeFile("/proc/loadavg"));
    std::string one, five, fifteen;
    line >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

inline std::string cpuModel() {
    std::istringstream lines(readWholeFile("/proc/cpuinfo"));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("model name", 0) != 0) continue;
        const std::size_t colon = line.find(':');
        return colon == std::string::npos ? line : line.substr(colon + 2);
    }
    return "unknown";
}

// The header every benchmark prints, so that a figure never travels without its machine.
inline void printMachine(const char* benchmark) {
    std::printf("# %s on %ld CPU(s), %s, load average %s\n", benchmark,
                ::sysconf(_SC_NPROCESSORS_ONLN), cpuModel().c_str(), loadAverage().c_str());
    std::fflush(stdout);
}

// A small fixed generator, so that every run moves the same bytes.
class XorShift {
  public:
    explicit XorShift(std::uint32_t seed) : state_(seed == 0 ? 1 : seed) {}
    std::uint8_t byte() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<std::uint8_t>(state_ >> 24);
    }

  private:
    std::uint32_t state_;
};

// One record line: kind, ":", count, address, type 00, data, checksum, CR LF.
inline void appendRecord(std::string& text, char kind, int address,
                         const std::vector<std::uint8_t>& data) {
    char field[16];
    unsigned sum = static_cast<unsigned>(data.size()) + ((address >> 8) & 0xFF) + (address & 0xFF);
    std::snprintf(field, sizeof field, "%c:%02X%04X00", kind, static_cast<unsigned>(data.size()),
                  static_cast<unsigned>(address));
    text += field;
    for (std::uint8_t byte : data) {
        std::snprintf(field, sizeof field, "%02X", byte);
        text += field;
        sum += byte;
    }
    std::snprintf(field, sizeof field, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    text += field;
}

// The bytes a firmware file carries: random-looking code and EEPROM data, every value from 0x00
// to 0xFF among them (LF, CR, XON and XOFF too, which must cross the line untouched).
struct FirmwareBytes {
    std::vector<std::uint8_t> code;
    std::vector<std::uint8_t> eeprom;
};

inline FirmwareBytes makeFirmwareBytes(int codeBytes, int eeBytes, std::uint32_t seed) {
    XorShift random(seed);
    FirmwareBytes bytes;
    for (int i = 0; i < codeBytes; ++i) bytes.code.push_back(random.byte());
    for (int i = 0; i < eeBytes; ++i) bytes.eeprom.push_back(random.byte());
    return bytes;
}

// The HXF text of those bytes, in records of 16 bytes, both images from address 0.
inline std::string firmwareText(const FirmwareBytes& bytes) {
    constexpr std::size_t kRecordBytes = 16;
    std::string text = "! benchmark firmware, made-up bytes\r\n";
    const auto records = [&text](char kind, const std::vector<std::uint8_t>& image) {
        for (std::size_t at = 0; at < image.size(); at += kRecordBytes) {
            const std::size_t end = std::min(image.size(), at + kRecordBytes);
            appendRecord(text, kind, static_cast<int>(at),
                         std::vector<std::uint8_t>(image.begin() + static_cast<long>(at),
                                                   image.begin() + static_cast<long>(end)));
        }
    };
    records('C', bytes.code);
    records('E', bytes.eeprom);
    return text;
}

inline bool writeWholeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    return static_cast<bool>(file.flush());
}

// A folder of its own below TMPDIR (or /tmp), removed by the caller.
inline std::string makeTempFolder(const char* name) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + name + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    return ::mkdtemp(buffer.data()) != nullptr ? std::string(buffer.data()) : std::string();
}

// One line of the child's standard output and when it arrived, in seconds from the start.
struct TimedLine {
    double at;
    std::string text;
};

struct ChildRun {
    bool started = false;
    bool timedOut = false;
    int exitStatus = -1;  // -1 when killed by a signal
    double wall = 0.0;    // from fork to the end of the child, seconds
    double cpu = 0.0;     // user + system of the child, seconds
    long maxRssKiB = 0;
    std::vector<TimedLine> lines;
};

namespace detail {

// In the child between fork and exec.
[[noreturn]] inline void becomeChild(std::vector<char*>& argv, int outFd, const std::string& err,
                                     const std::vector<std::pair<std::string, std::string>>& env,
                                     pid_t parent) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // a benchmark that dies takes its children with it
    if (::getppid() != parent) ::_exit(126);
    ::dup2(outFd, STDOUT_FILENO);
    const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (errFd >= 0) ::dup2(errFd, STDERR_FILENO);
    for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

// Reads the child's output until it closes its end or the time is up; stamps each line.
inline bool collectLines(int fd, Clock::time_point start, Clock::time_point deadline,
                         std::vector<TimedLine>& lines) {
    std::string pending;
    char chunk[4096];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::min<long>(left.count(), 1000))) <= 0) continue;
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        const double at = secondsBetween(start, Clock::now());
        if (got <= 0) return true;
        pending.append(chunk, static_cast<std::size_t>(got));
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            lines.push_back({at, pending.substr(0, end)});
            pending.erase(0, end + 1);
        }
    }
}

}  // namespace detail

// Runs a program to its end, at most `limit` long (then it is killed), with standard error in
// the file `errPath` and the given variables added to its environment.
inline ChildRun runChild(std::vector<std::string> args, std::chrono::seconds limit,
                         const std::string& errPath,
                         const std::vector<std::pair<std::string, std::string>>& env = {}) {
    ChildRun run;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return run;
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) detail::becomeChild(argv, out[1], errPath, env, parent);
    ::close(out[1]);
    if (pid < 0) {
        ::close(out[0]);
        return run;
    }
    run.started = true;
    run.timedOut = !detail::collectLines(out[0], start, start + limit, run.lines);
    if (run.timedOut) ::kill(pid, SIGKILL);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.wall = secondsBetween(start, Clock::now());
    ::close(out[0]);
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.cpu = cpuSeconds(usage);
    run.maxRssKiB = usage.ru_maxrss;
    return run;
}

}  // namespace ondo::bench
