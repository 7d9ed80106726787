// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/sim_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <thread>

namespace ondo::testing {
namespace {

using Clock = std::chrono::steady_clock;

// Waits until done() holds or the patience (only a hang waits this long) runs out.
template <typename Done>
bool await(Done done) {
    for (const auto until = Clock::now() + std::chrono::seconds(10); Clock::now() < until;) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string>& options) {
    std::vector<std::string> args = {ONDO_SIM_PATH};
    for (const char* name : {"link", "control", "dump", "stats", "ack", "path-file"})
        args.insert(args.end(), {std::string("--") + name, folder_.file(name)});
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {                         // only calls that are safe between fork and exec
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // a test program that dies takes the unit with it
        if (::getppid() != parent) ::_exit(1);
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) ::dup2(null, STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    const bool up =
        await([&] { return !readFile(folder_.file("path-file")).empty() || !running(); });
    if (!up || !running()) error_ = "ondo-unit-sim did not start (see its message above)";
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

bool SimProcess::control(const std::string& command) {
    const int fd = ::open(folder_.file("control").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const std::string line = command + "\n";
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::close(fd);
    // The simulator acknowledges every line it gets, even an unknown one, as "LINE NUMBER".
    const std::string suffix = " " + std::to_string(++commands_);
    std::string answer;
    await([&] {
        std::istringstream lines(readFile(folder_.file("ack")));
        for (std::string line; std::getline(lines, line);)
            if (line.ends_with(suffix)) answer = line;
        return !answer.empty();
    });
    return written && answer == command + suffix;
}

int SimProcess::stop() {
    if (pid_ <= 0) return exitStatus_;
    ::kill(pid_, SIGTERM);
    if (await([&] { return !running(); })) return exitStatus_;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return exitStatus_ = -1;
}

std::vector<std::uint8_t> SimProcess::flash() const {
    const std::string bytes = readFile(folder_.file("dump.flash"));
    return {bytes.begin(), bytes.end()};
}

std::vector<std::uint8_t> SimProcess::eeprom() const {
    const std::string bytes = readFile(folder_.file("dump.eeprom"));
    return {bytes.begin(), bytes.end()};
}

std::map<std::string, long long> SimProcess::stats() const {
    std::map<std::string, long long> values;
    std::istringstream lines(readFile(folder_.file("stats")));
    std::string key;
    for (long long value = 0; lines >> key >> value;) values[key] = value;
    return values;
}

}  // namespace ondo::testing
