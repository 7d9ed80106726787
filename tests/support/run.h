// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one way tests run a program as a child: in a process group of its own (so a test can send the
// group a Ctrl-C as a terminal does), with a home of its own for its settings store, standard
// output and error collected apart or standard input and error on a pseudo-terminal. A child that
// outlives its bound, or stays silent too long, is killed and reported as hung.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace ondo::testing {

struct RunResult {
    int exitCode = -1;  // -1 when the child did not exit normally
    bool hung = false;
    std::string out, err;  // standard output and standard error (on a pipe or the terminal)
};

struct Child {
    std::vector<std::string> command{ONDO_FLASH_PATH};  // the program (and its first words)
    std::vector<std::string> args;                      // after them
    std::string home;  // HOME and XDG_CONFIG_HOME; empty: a fresh folder for this run
    bool onTerminal = false;
    std::chrono::seconds bound{150};
    std::chrono::seconds silence{0};  // 0: no bound on silence
    // Whenever standard output grows: the child's process id and all output so far.
    std::function<void(pid_t, const std::string&)> onOutput;
    // Whenever the terminal output grows; what it returns is typed at the terminal.
    std::function<std::string(const std::string&)> onTerminalOutput;
    RunResult run() const;
};

// A folder below the temporary directory, removed again with this object.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
int occurrences(const std::string& text, const std::string& part);

}  // namespace ondo::testing
