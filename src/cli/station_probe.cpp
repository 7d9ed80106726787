// SPDX-License-Identifier: GPL-3.0-or-later
// ondo-flash probe: asks the unit on a port its firmware version; with --next, waits on the port
// until the unit there has been replaced by another (the station's --loop).

#include <QCommandLineParser>
#include <QTimer>
#include <iostream>
#include <memory>
#include <ostream>

#include "cli/cli_command.h"
#include "cli/station.h"
#include "link/link.h"
#include "link/port_map.h"
#include "link/qtwaiter.h"
#include "ports/port_list.h"
#include "session/exit_status.h"

namespace ondo {

namespace {

constexpr std::chrono::milliseconds kTick{100};
constexpr int kTicksBetweenQueries = 10;

const char* kProbeDescription =
    "Asks the unit on the port its firmware version (the version query \"v\", after \"tf\" has\n"
    "stopped its readings) and prints \"answers VERSION\", \"no answer\" or \"not available: "
    "WHY\".\n"
    "\n"
    "With --next it waits for the unit on the port to be replaced: it keeps the port open and\n"
    "asks once a second while the unit answers; once the unit has gone (the device vanished,\n"
    "the line hung up, a query went unanswered, or readings came unasked from a unit that has\n"
    "just powered up) it asks until a unit answers. It prints each change and ends when the next\n"
    "unit answers.\n"
    "\n"
    "Exit status:\n"
    "  0  the unit answered (with --next: the next unit)\n"
    "  2  bad arguments\n"
    "  4  the port could not be opened\n"
    "  5  the unit did not answer";

enum class Heard { Answered, NoAnswer, NotOpen };

// Notes bytes that come between queries: the unit was told to stop its readings ("tf"), so
// readings mean a unit that has just powered up.
class ProbeFace : public CliFace {
  public:
    using CliFace::CliFace;
    void dataHistory(const std::string& text) override { unasked = unasked || !text.empty(); }
    bool unasked = false;
};

class Probe {
  public:
    explicit Probe(const std::string& port)
        : face_(quiet(), ""),
          library_(makeMappedLibrary(settings_)),
          link_(*library_, face_, waiter_),
          name_(portName(port, settings_)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { link_.Timer1_Timer(); });
        timer_.start(kTick);
    }

    int run(bool next);

  private:
    // The engine's texts (the opening, the greeting) are not this command's output.
    CliOptions quiet() {
        CliOptions o;
        o.out = &discard_;
        o.err = &discard_;
        return o;
    }
    Heard ask();
    std::string said(Heard heard) const;

    std::ostream discard_{nullptr};
    Settings settings_;
    ProbeFace face_;
    std::unique_ptr<sio::SerialLibrary> library_;
    QtWaiter waiter_;
    Link link_;
    std::string name_;
    QTimer timer_;
    bool streamed_ = false;  // bytes came unasked before the last query
};

// One query: a port not open is opened (its greeting asks the version); an open one is asked
// again, so that a device that went away in the meantime is noticed even if it is back already.
// Readings before two queries in a row (one late reading can come after "tf") are a unit that
// has powered up since: the one that was there has gone.
Heard Probe::ask() {
    const bool streamed = face_.unasked;
    face_.unasked = false;
    if (link_.PortOpen && (link_.LineLost || (streamed && streamed_))) {
        streamed_ = false;
        link_.closePort();
        return Heard::NoAnswer;
    }
    streamed_ = streamed && link_.PortOpen;
    if (link_.PortOpen) {
        link_.GetVersion();
    } else {
        openNamedPort(link_, face_, name_);
        if (!link_.PortOpen) return Heard::NotOpen;
    }
    face_.unasked = false;  // the replies themselves
    if (!link_.LineLost && !link_.RomVersion.empty()) return Heard::Answered;
    link_.closePort();
    return Heard::NoAnswer;
}

std::string Probe::said(Heard heard) const {
    if (heard == Heard::Answered) return "answers " + link_.RomVersion;
    if (heard == Heard::NoAnswer) return "no answer";
    if (link_.LastResult == sio::kOsError) return "not available: " + link_.ErrorText;
    return "not available: error " + std::to_string(link_.LastResult);
}

int Probe::run(bool next) {
    bool gone = false;
    std::string last;
    Heard heard = Heard::NotOpen;
    for (;;) {
        heard = ask();
        const std::string line = said(heard);
        if (line != last) std::cout << line << '\n' << std::flush;
        last = line;
        if (!next || (gone && heard == Heard::Answered)) break;
        gone = gone || heard != Heard::Answered;
        link_.DelayTicks(kTicksBetweenQueries);
    }
    link_.closePort();
    switch (heard) {
        case Heard::Answered:
            return kExitOk;
        case Heard::NoAnswer:
            return kExitNoUnit;
        case Heard::NotOpen:
            break;
    }
    return kExitPortNotOpen;
}

}  // namespace

int runProbe(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(kProbeDescription);
    parser.addOptions({
        {"port", "COM1 to COM9 (through the port map) or a device path.", "port"},
        {"next", "Wait until the unit on the port has been replaced by one that answers."},
    });
    if (auto done = parse(parser, args, "probe")) return *done;
    const std::string port = portArgument(parser.value("port"));
    if (!parser.positionalArguments().isEmpty())
        return *usageError("probe", "probe takes options only");
    if (port.empty()) return *usageError("probe", "--port takes COM1 to COM9 or a device path");
    return Probe(port).run(parser.isSet("next"));
}

}  // namespace ondo
