// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulator's one thread: a poll loop that moves bytes between the pseudo-terminal and the
// unit through the line model, runs the unit's timers, and obeys the control FIFO and signals.

#include <ctime>
#include <optional>
#include <string>

#include "control.h"
#include "files.h"
#include "options.h"
#include "outbox.h"
#include "pty.h"
#include "unit.h"
#include "wire.h"

namespace sim {

class Simulator {
  public:
    Simulator(const Options& options, const UnitType& type);
    // Runs until SIGTERM, SIGINT or "quit"; writes the dumps and returns the exit code.
    int run();

  private:
    bool start(std::string& error);
    void step();
    std::optional<timespec> pollTimeout(TimePoint now) const;  // none: wait for an event
    void exchange(TimePoint now);
    void sendToHost(TimePoint now);
    void obey(const std::string& command, TimePoint now);
    bool plugIn(TimePoint now, std::string& error);
    void unplug();
    void announce();
    void writeOutputs();
    void acknowledge(const std::string& what);

    Options options_;
    Outbox outbox_;
    Wire wire_;
    Unit unit_;
    PseudoTerminal pty_;
    ControlFifo control_;
    Traffic traffic_;
    std::string pendingWrite_;
    bool attached_ = false;
    bool quit_ = false;
    bool quitAcknowledge_ = false;
    int commandCount_ = 0;
};

}  // namespace sim
