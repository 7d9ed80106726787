#include "cli/cli_run.h"

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
#include <map>
#include <sstream>

#ifndef ONDO_FLASH_PATH
#error "ONDO_FLASH_PATH must name the ondo-flash executable"
#endif

extern char** environ;

namespace ondo::testing {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPollMillis = 20;
// After the child has ended, what it wrote is collected for at most this long (a grandchild
// such as the simulated unit may still hold a copy of the pipe for a moment).
constexpr std::chrono::seconds kDrain{5};

// One descriptor the parent reads, and what it collects.
struct Stream {
    int* fd = nullptr;  // the descriptor in Pipes, set to -1 once closed here
    std::string* text = nullptr;
    bool open() const { return fd != nullptr && *fd >= 0; }
    // Reads what is there; false at the end of the stream.
    bool pull() {
        std::array<char, 4096> buffer;
        const ssize_t n = ::read(*fd, buffer.data(), buffer.size());
        if (n > 0) {
            text->append(buffer.data(), static_cast<std::size_t>(n));
            return true;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
        ::close(*fd);
        *fd = -1;
        return false;
    }
};

std::vector<std::string> childEnvironment(const CliRun& run, const std::string& home) {
    std::map<std::string, std::string> values;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::size_t eq = text.find('=');
        if (eq != std::string::npos) values[text.substr(0, eq)] = text.substr(eq + 1);
    }
    values["HOME"] = home;
    values["XDG_CONFIG_HOME"] = home + "/config";
    values.erase("QT_QPA_PLATFORM");
    for (const std::string& text : run.environment) {
        const std::size_t eq = text.find('=');
        values[text.substr(0, eq)] = eq == std::string::npos ? "" : text.substr(eq + 1);
    }
    std::vector<std::string> out;
    for (const auto& [name, value] : values) out.push_back(name + "=" + value);
    return out;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (std::string& text : texts) out.push_back(text.data());
    out.push_back(nullptr);
    return out;
}

struct Pipes {
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    int master = -1;
    int slave = -1;
};

bool openPipes(Pipes& p, bool onTerminal) {
    if (::pipe2(p.out, O_CLOEXEC) != 0) return false;
    if (onTerminal) {
        if (::openpty(&p.master, &p.slave, nullptr, nullptr, nullptr) != 0) return false;
        ::fcntl(p.master, F_SETFD, FD_CLOEXEC);
        ::fcntl(p.slave, F_SETFD, FD_CLOEXEC);
        return true;
    }
    return ::pipe2(p.err, O_CLOEXEC) == 0;
}

// In the child between fork and exec: only calls that are safe there.
[[noreturn]] void becomeUtility(const Pipes& p, std::vector<char*>& argv, std::vector<char*>& envp,
                                pid_t parent) {
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // a test program that dies takes the utility with it
    if (::getppid() != parent) ::_exit(126);
    const int in = p.slave >= 0 ? p.slave : ::open("/dev/null", O_RDONLY);
    ::dup2(in, STDIN_FILENO);
    ::dup2(p.out[1], STDOUT_FILENO);
    ::dup2(p.slave >= 0 ? p.slave : p.err[1], STDERR_FILENO);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
}

class Watcher {
  public:
    Watcher(const CliRun& run, pid_t pid, Pipes& p, CliResult& r) : run_(run), pid_(pid), r_(r) {
        out_ = {&p.out[0], &r.out};
        err_ = {p.master >= 0 ? &p.master : &p.err[0], p.master >= 0 ? &r.terminal : &r.err};
        master_ = &p.master;
    }

    void watch() {
        const auto deadline = Clock::now() + CliRun::kPatience;
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) != pid_) {
            if (Clock::now() > deadline) {
                r_.hung = true;
                ::kill(-pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            pollOnce();
        }
        if (!r_.hung && WIFEXITED(status)) r_.exitCode = WEXITSTATUS(status);
        drain();
    }

  private:
    void pollOnce() {
        std::array<pollfd, 2> fds{{{*out_.fd, POLLIN, 0}, {*err_.fd, POLLIN, 0}}};
        if (::poll(fds.data(), fds.size(), kPollMillis) <= 0) return;
        const std::size_t outBefore = r_.out.size();
        const std::size_t termBefore = r_.terminal.size();
        if (out_.open() && fds[0].revents != 0) out_.pull();
        if (err_.open() && fds[1].revents != 0) err_.pull();
        if (run_.onOutput && r_.out.size() != outBefore) run_.onOutput(pid_, r_.out);
        if (run_.onTerminalOutput && r_.terminal.size() != termBefore) type();
    }

    void type() {
        const std::string typed = run_.onTerminalOutput(r_.terminal);
        if (!typed.empty() && *master_ >= 0) {
            [[maybe_unused]] const ssize_t n = ::write(*master_, typed.data(), typed.size());
        }
    }

    void drain() {
        const auto until = Clock::now() + kDrain;
        for (Stream* s : {&out_, &err_}) {
            while (s->open() && Clock::now() < until) {
                pollfd fd{*s->fd, POLLIN, 0};
                if (::poll(&fd, 1, kPollMillis) == 0) {
                    if (s->fd == master_) break;  // a terminal has no end of file
                    continue;
                }
                s->pull();
            }
        }
    }

    const CliRun& run_;
    pid_t pid_;
    CliResult& r_;
    Stream out_;
    Stream err_;
    int* master_ = nullptr;
};

void closeAll(Pipes& p) {
    for (int fd : {p.out[0], p.out[1], p.err[0], p.err[1], p.master, p.slave}) {
        if (fd >= 0) ::close(fd);
    }
}

}  // namespace

std::vector<std::string> CliResult::outLines() const {
    std::vector<std::string> lines;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

CliResult CliRun::run() const {
    CliResult r;
    TempFolder own;
    const std::string folder = home.empty() ? own.path() : home;
    std::vector<std::string> argTexts = {ONDO_FLASH_PATH};
    argTexts.insert(argTexts.end(), args.begin(), args.end());
    std::vector<std::string> envTexts = childEnvironment(*this, folder);
    std::vector<char*> argv = pointers(argTexts);
    std::vector<char*> envp = pointers(envTexts);
    Pipes p;
    if (!openPipes(p, onTerminal)) {
        closeAll(p);
        return r;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) becomeUtility(p, argv, envp, parent);
    if (pid > 0) ::setpgid(pid, pid);  // also here, so a signal sent at once reaches the group
    // The parent keeps only its reading ends.
    for (int* fd : {&p.out[1], &p.err[1], &p.slave}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
    if (pid > 0) Watcher(*this, pid, p, r).watch();
    closeAll(p);
    return r;
}

TempFolder::TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/ondo-cli-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace ondo::testing
