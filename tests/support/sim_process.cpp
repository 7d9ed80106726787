#include "support/sim_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#ifndef ONDO_SIM_PATH
#error "ONDO_SIM_PATH must name the ondo-unit-sim executable"
#endif

namespace ondo::testing {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kPollStep{2};

std::string readText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<std::uint8_t> readBytes(const std::string& path) {
    const std::string text = readText(path);
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::string makeFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/ondo-sim-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    return ::mkdtemp(buffer.data()) != nullptr ? std::string(buffer.data()) : std::string();
}

// In the child between fork and exec: only calls that are safe there.
[[noreturn]] void becomeSimulator(std::vector<char*>& argv, pid_t parent) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // a test program that dies takes the unit with it
    if (::getppid() != parent) ::_exit(1);
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) ::dup2(null, STDOUT_FILENO);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string>& options) {
    folder_ = makeFolder();
    if (folder_.empty()) {
        error_ = std::string("mkdtemp: ") + std::strerror(errno);
        return;
    }
    link_ = folder_ + "/unit";
    control_ = folder_ + "/control";
    dump_ = folder_ + "/dump";
    stats_ = folder_ + "/stats";
    ack_ = folder_ + "/ack";
    pathFile_ = folder_ + "/path";
    launch(options);
}

SimProcess::~SimProcess() {
    stop();
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

void SimProcess::launch(const std::vector<std::string>& options) {
    std::vector<std::string> args = {ONDO_SIM_PATH, "--link",      link_,     "--control", control_,
                                     "--dump",      dump_,         "--stats", stats_,      "--ack",
                                     ack_,          "--path-file", pathFile_};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) becomeSimulator(argv, parent);
    if (pid_ < 0) {
        error_ = std::string("fork: ") + std::strerror(errno);
        return;
    }
    const auto deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
        if (!readText(pathFile_).empty()) {
            started_ = true;
            return;
        }
        if (!running()) {
            error_ = "ondo-unit-sim exited at start (see its message above)";
            return;
        }
        std::this_thread::sleep_for(kPollStep);
    }
    error_ = "ondo-unit-sim did not tell its device path in time";
}

bool SimProcess::running() {
    if (pid_ <= 0) return false;
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == 0) return true;
    exitStatus_ = done == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
    return false;
}

std::string SimProcess::devicePath() const {
    std::string path = readText(pathFile_);
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
    return path;
}

bool SimProcess::control(const std::string& command) {
    const int fd = ::open(control_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const std::string line = command + "\n";
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::close(fd);
    ++commands_;  // the simulator numbers every line it gets, even an unknown one
    return written && waitForAcknowledgement(command, commands_);
}

bool SimProcess::waitForAcknowledgement(const std::string& command, int number) const {
    const std::string suffix = " " + std::to_string(number);
    const auto deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
        std::istringstream lines(readText(ack_));
        std::string line;
        while (std::getline(lines, line)) {
            if (line.size() > suffix.size() &&
                line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0) {
                return line == command + suffix;
            }
        }
        std::this_thread::sleep_for(kPollStep);
    }
    return false;
}

int SimProcess::stop() {
    if (pid_ <= 0) return exitStatus_;
    ::kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
        if (!running()) return exitStatus_;
        std::this_thread::sleep_for(kPollStep);
    }
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    exitStatus_ = -1;
    return exitStatus_;
}

std::vector<std::uint8_t> SimProcess::flash() const {
    return readBytes(dump_ + ".flash");
}

std::vector<std::uint8_t> SimProcess::eeprom() const {
    return readBytes(dump_ + ".eeprom");
}

std::map<std::string, long long> SimProcess::stats() const {
    std::map<std::string, long long> values;
    std::istringstream lines(readText(stats_));
    std::string key;
    long long value = 0;
    while (lines >> key >> value) values[key] = value;
    return values;
}

}  // namespace ondo::testing
