#include "soak/flash_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <thread>

#ifndef ONDO_FLASH_PATH
#error "ONDO_FLASH_PATH must name the ondo-flash executable"
#endif

extern char** environ;

namespace ondo::testing {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kPollStep{20};

std::string readText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The parent's environment with a home of its own and no display.
std::vector<std::string> childEnvironment(const std::string& home) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind("HOME=", 0) == 0 || entry.rfind("XDG_CONFIG_HOME=", 0) == 0) continue;
        env.push_back(entry);
    }
    env.push_back("HOME=" + home);
    env.push_back("XDG_CONFIG_HOME=" + home + "/config");
    env.push_back("QT_QPA_PLATFORM=offscreen");
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (std::string& text : texts) out.push_back(text.data());
    out.push_back(nullptr);
    return out;
}

// In the child between fork and exec: only calls that are safe there.
[[noreturn]] void becomeFlash(char** argv, char** envp, const char* out, const char* err,
                              pid_t parent) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(126);
    const int in = ::open("/dev/null", O_RDONLY);
    const int o = ::open(out, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int e = ::open(err, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || o < 0 || e < 0) ::_exit(126);
    ::dup2(in, STDIN_FILENO);
    ::dup2(o, STDOUT_FILENO);
    ::dup2(e, STDERR_FILENO);
    ::execve(argv[0], argv, envp);
    ::_exit(127);
}

}  // namespace

FlashProcess::FlashProcess(const std::vector<std::string>& args, const std::string& folder)
    : out_(folder + "/flash.out"), err_(folder + "/flash.err") {
    std::vector<std::string> all = {ONDO_FLASH_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<std::string> env = childEnvironment(folder);
    std::vector<char*> argv = pointers(all);
    std::vector<char*> envp = pointers(env);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) becomeFlash(argv.data(), envp.data(), out_.c_str(), err_.c_str(), parent);
}

FlashProcess::~FlashProcess() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

void FlashProcess::interrupt() {
    if (pid_ > 0) ::kill(pid_, SIGINT);
}

std::string FlashProcess::output() const {
    return readText(out_);
}
std::string FlashProcess::errors() const {
    return readText(err_);
}

void FlashProcess::handOutLines(const std::function<void(const std::string&)>& onLine) {
    const std::string text = output();
    for (std::size_t end = text.find('\n', consumed_); end != std::string::npos;
         end = text.find('\n', consumed_)) {
        const std::string line = text.substr(consumed_, end - consumed_);
        consumed_ = end + 1;
        if (onLine) onLine(line);
    }
}

int FlashProcess::wait(std::chrono::seconds bound, std::chrono::seconds silence,
                       const std::function<void(const std::string&)>& onLine) {
    if (pid_ <= 0) return -1;
    const auto start = Clock::now();
    auto lastOutput = start;
    int status = 0;
    for (;;) {
        const std::size_t before = consumed_;
        handOutLines(onLine);
        const auto now = Clock::now();
        if (consumed_ != before) lastOutput = now;
        const std::chrono::duration<double> quiet = now - lastOutput;
        longestSilence_ = std::max(longestSilence_, quiet.count());
        seconds_ = std::chrono::duration<double>(now - start).count();
        if (::waitpid(pid_, &status, WNOHANG) == pid_) break;
        if (quiet > silence || now - start > bound) {
            hung_ = true;
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(kPollStep);
    }
    pid_ = -1;
    handOutLines(onLine);
    return !hung_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace ondo::testing
