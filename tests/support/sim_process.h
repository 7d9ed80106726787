// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulated unit as a child process for tests: started in a folder of its own with a stable
// link to its pseudo-terminal, a control FIFO, dumps and counters; stopped and cleaned up by the
// destructor even when a test fails half-way.

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/run.h"

namespace ondo::testing {

class SimProcess {
  public:
    // Starts ondo-unit-sim with these options (for example {"--type", "EnbS"}) and waits for its
    // device path. started() tells whether that worked; error() says why not.
    explicit SimProcess(const std::vector<std::string>& options = {});
    ~SimProcess() { stop(); }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool started() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    // A symbolic link that always points at the current pseudo-terminal while it exists.
    std::string linkPath() const { return folder_.file("link"); }

    // Sends one control command ("rescue", "power", "unplug", "replug", "dump", "quit") and waits
    // until the simulator has carried it out. False on an unknown command or a time-out.
    bool control(const std::string& command);
    // SIGTERM and wait: the dumps and counters are written. Returns the exit status (also when the
    // process had already ended), or -1 when it was killed or never ran.
    int stop();

    // The dumps and "key value" counters as the simulator last wrote them (after stop() or
    // control("dump")).
    std::vector<std::uint8_t> flash() const;
    std::vector<std::uint8_t> eeprom() const;
    std::map<std::string, long long> stats() const;

  private:
    bool running();

    TempFolder folder_;
    pid_t pid_ = -1;
    int commands_ = 0;
    int exitStatus_ = -1;
    std::string error_;
};

}  // namespace ondo::testing
