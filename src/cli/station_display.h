// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the station shows of its ports while the workers run, in one of three forms: on a
// terminal one line a port kept up to date in place and a summary at the end; without one the
// lines `flash` prints, each after its port; for programs the workers' JSON events, each with a
// "port" member, and the station's own events.

#include <QJsonObject>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "core/face.h"

namespace ondo {

using StationClock = std::chrono::steady_clock;

// One port as the station knows it from its worker's events.
struct PortView {
    enum class Stage { Updating, Waiting, Ended };
    std::string port;  // as named: COM3 or a device path
    Stage stage = Stage::Updating;
    int done = 0;      // runs on this port that have ended
    std::string unit;  // the type the bootloader named in this run
    Progress progress;
    bool progressSeen = false;
    StationClock::time_point phaseStarted{};
    std::string outcome;  // the last run's outcome, its exit status and closing message
    int exit = 0;
    std::string message;
};

// One unit's run, for the summary.
struct UnitRun {
    std::string port, unit, outcome, versionBefore, versionAfter, backup;
    int exit = 0;
    double seconds = 0;
};

class StationDisplay {
  public:
    enum class Form { Board, Plain, Json };
    static std::unique_ptr<StationDisplay> make(Form form);
    virtual ~StationDisplay() = default;

    // A run begins on the port.
    virtual void started(const PortView& port) = 0;
    // One event of the port's worker, as its line and as parsed.
    virtual void event(const PortView& port, const std::string& line, const QJsonObject& e) = 0;
    // The station's own words about a port, or (null) about itself.
    virtual void note(const PortView* port, const std::string& text) = 0;
    // The port's stage changed: it waits for the next unit, or it has ended for good.
    virtual void changed(const PortView& port) = 0;
    // Every port has ended: the summary and the station's exit status.
    virtual void finish(const std::vector<UnitRun>& runs, int exit) = 0;
};

}  // namespace ondo
