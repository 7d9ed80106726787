// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/run.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

extern char** environ;

namespace ondo::testing {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (std::string& text : texts) out.push_back(text.data());
    out.push_back(nullptr);
    return out;
}

// Reads what is waiting on fd into text; closes fd (and sets it to -1) at its end.
void pull(int& fd, std::string& text) {
    std::array<char, 4096> buffer;
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n > 0) text.append(buffer.data(), static_cast<std::size_t>(n));
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
        ::close(fd);
        fd = -1;
    }
}

}  // namespace

RunResult Child::run() const {
    RunResult r;
    TempFolder own;
    const std::string folder = home.empty() ? own.path() : home;
    std::vector<std::string> argTexts = command, envTexts;
    argTexts.insert(argTexts.end(), args.begin(), args.end());
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (!entry.starts_with("HOME=") && !entry.starts_with("XDG_CONFIG_HOME=") &&
            !entry.starts_with("QT_QPA_PLATFORM="))
            envTexts.push_back(entry);
    }
    envTexts.push_back("HOME=" + folder);
    envTexts.push_back("XDG_CONFIG_HOME=" + folder + "/config");
    std::vector<char*> argv = pointers(argTexts), envp = pointers(envTexts);
    int out[2] = {-1, -1}, err[2] = {-1, -1}, master = -1, slave = -1;
    if (::pipe2(out, O_CLOEXEC) != 0) return r;
    if (onTerminal ? ::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0
                   : ::pipe2(err, O_CLOEXEC) != 0)
        return r;
    if (onTerminal) {
        ::fcntl(master, F_SETFD, FD_CLOEXEC);
        ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {  // only calls that are safe between fork and exec
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(126);
        ::dup2(slave >= 0 ? slave : ::open("/dev/null", O_RDONLY), STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(slave >= 0 ? slave : err[1], STDERR_FILENO);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    if (pid > 0) ::setpgid(pid, pid);  // so a signal sent at once reaches the group
    for (int fd : {out[1], err[1], slave})
        if (fd >= 0) ::close(fd);
    int& errFd = onTerminal ? master : err[0];
    const auto start = Clock::now();
    auto heard = start;
    int status = 0;
    while (pid > 0 && ::waitpid(pid, &status, WNOHANG) != pid) {
        std::array<pollfd, 2> fds{{{out[0], POLLIN, 0}, {errFd, POLLIN, 0}}};
        ::poll(fds.data(), fds.size(), 20);
        const std::size_t outBefore = r.out.size(), errBefore = r.err.size();
        if (out[0] >= 0 && fds[0].revents) pull(out[0], r.out);
        if (errFd >= 0 && fds[1].revents) pull(errFd, r.err);
        const auto now = Clock::now();
        if (r.out.size() != outBefore) {
            heard = now;
            if (onOutput) onOutput(pid, r.out);
        }
        if (onTerminalOutput && r.err.size() != errBefore && master >= 0) {
            const std::string typed = onTerminalOutput(r.err);
            [[maybe_unused]] ssize_t n = ::write(master, typed.data(), typed.size());
        }
        if (now - start > bound || (silence.count() > 0 && now - heard > silence)) {
            r.hung = true;
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
    }
    // What is still in the pipes (a grandchild may hold them a moment; a terminal has no end).
    const auto until = Clock::now() + std::chrono::seconds(5);
    for (int* fd : {&out[0], &errFd}) {
        std::string& text = fd == &out[0] ? r.out : r.err;
        while (*fd >= 0 && Clock::now() < until) {
            pollfd p{*fd, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0)
                pull(*fd, text);
            else if (fd == &master)
                break;
        }
    }
    for (int fd : {out[0], err[0], master})
        if (fd >= 0) ::close(fd);
    if (!r.hung && WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    return r;
}

TempFolder::TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/ondo-test-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

int occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

}  // namespace ondo::testing
