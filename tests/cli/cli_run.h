#pragma once
// Runs the real ondo-flash as a child process, the way a shell or a script does: its own
// process group (so a test can send the group a Ctrl-C, as a terminal does), a settings store
// in a folder of its own (HOME and XDG_CONFIG_HOME), standard output and standard error
// collected apart, and optionally standard input and standard error on a pseudo-terminal.
// A child that outlives a generous bound is killed and reported as hung.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace ondo::testing {

struct CliResult {
    int exitCode = -1;     // -1 when the child did not exit normally
    bool hung = false;     // killed after the bound
    std::string out;       // standard output
    std::string err;       // standard error (when on a pipe)
    std::string terminal;  // what the child wrote to its terminal (standard error on a pty)

    std::vector<std::string> outLines() const;
};

struct CliRun {
    // How long a run may take before it counts as hung: far beyond the slowest run here.
    static constexpr std::chrono::seconds kPatience{150};

    std::vector<std::string> args;         // after the program name
    std::vector<std::string> environment;  // extra "NAME=value" entries
    // Where HOME and XDG_CONFIG_HOME point; empty: a fresh temporary folder for this run.
    std::string home;
    // Standard input and standard error on a pseudo-terminal instead of /dev/null and a pipe.
    bool onTerminal = false;

    // Called whenever standard output has grown, with the child's process id and all output
    // so far.
    std::function<void(pid_t, const std::string&)> onOutput;
    // Called whenever the terminal output has grown; what it returns is typed at the terminal.
    std::function<std::string(const std::string&)> onTerminalOutput;

    CliResult run() const;
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
void writeFile(const std::string& path, const std::string& text);

}  // namespace ondo::testing
