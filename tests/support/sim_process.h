#pragma once
// The simulated unit as a child process for tests: started in a folder of its own with a stable
// link to its pseudo-terminal, a control FIFO, dumps and counters; stopped and cleaned up by the
// destructor even when a test fails half-way. Plain C++ and POSIX, no Qt.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ondo::testing {

class SimProcess {
  public:
    // How long any wait on the simulator may take before it counts as hung.
    static constexpr std::chrono::seconds kPatience{10};

    // Starts ondo-unit-sim with these options (for example {"--type", "EnbS"}) and waits for its
    // device path. started() tells whether that worked; error() says why not.
    explicit SimProcess(const std::vector<std::string>& options = {});
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool started() const { return started_; }
    const std::string& error() const { return error_; }
    bool running();

    // The pseudo-terminal the unit is on now (it changes on "replug").
    std::string devicePath() const;
    // A symbolic link that always points at the current pseudo-terminal while it exists.
    const std::string& linkPath() const { return link_; }
    const std::string& folder() const { return folder_; }

    // Sends one control command ("rescue", "power", "unplug", "replug", "dump", "quit") and waits
    // until the simulator has carried it out. False on an unknown command or a time-out.
    bool control(const std::string& command);
    // SIGTERM and wait: the dumps and counters are written. Returns the exit status (also when
    // the process had already ended), or -1 when it was killed or never ran.
    int stop();

    // The dumps as the simulator last wrote them (after stop() or control("dump")).
    std::vector<std::uint8_t> flash() const;
    std::vector<std::uint8_t> eeprom() const;
    // The counters, "key value" lines, by key.
    std::map<std::string, long long> stats() const;

  private:
    void launch(const std::vector<std::string>& options);
    bool waitForAcknowledgement(const std::string& command, int number) const;

    std::string folder_;
    std::string link_;
    std::string control_;
    std::string dump_;
    std::string stats_;
    std::string ack_;
    std::string pathFile_;
    pid_t pid_ = -1;
    bool started_ = false;
    int commands_ = 0;
    int exitStatus_ = -1;
    std::string error_;
};

}  // namespace ondo::testing
