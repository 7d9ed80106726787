#pragma once
// The utility's command-line mode as a child process for tests: "ondo-flash flash ..." with no
// terminal (standard input from /dev/null), its JSON events collected line by line, a home of
// its own so the user's settings are neither read nor written, and a kill when it outlives its
// bound. The child ends with the test program.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace ondo::testing {

class FlashProcess {
  public:
    // Starts ONDO_FLASH_PATH with these arguments; its output files and home go into folder.
    FlashProcess(const std::vector<std::string>& args, const std::string& folder);
    ~FlashProcess();
    FlashProcess(const FlashProcess&) = delete;
    FlashProcess& operator=(const FlashProcess&) = delete;

    bool started() const { return pid_ > 0; }

    // Waits for the end, handing every complete line of standard output to onLine as it comes.
    // Kills the child when it runs longer than bound or prints nothing for longer than silence;
    // hung() then tells so. Returns the exit status, or -1 when the child was killed or crashed.
    int wait(std::chrono::seconds bound, std::chrono::seconds silence,
             const std::function<void(const std::string&)>& onLine = {});
    // SIGINT, as Ctrl-C on a terminal: the utility's Abort.
    void interrupt();

    bool hung() const { return hung_; }
    double seconds() const { return seconds_; }
    double longestSilence() const { return longestSilence_; }
    std::string output() const;  // standard output so far: the JSON events
    std::string errors() const;  // standard error so far: the status texts

  private:
    void handOutLines(const std::function<void(const std::string&)>& onLine);

    std::string out_;
    std::string err_;
    pid_t pid_ = -1;
    std::size_t consumed_ = 0;
    bool hung_ = false;
    double seconds_ = 0;
    double longestSilence_ = 0;
};

}  // namespace ondo::testing
