// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/station_display.h"

#include <QJsonValue>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>
#include <ostream>
#include <streambuf>

#include "cli/cli_face.h"
#include "cli/terminal.h"
#include "flash/sequence.h"

namespace ondo {

namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr milliseconds kBoardRefresh{250};  // redraws at most this often, on news
constexpr seconds kBoardRedraw{1};          // and at least this often, for the time left
constexpr std::size_t kPhaseWidth = 14;     // "EEPROM verify", the longest caption, and a blank

std::string text(const QJsonObject& e, const char* key) {
    return e.value(key).toString().toStdString();
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

std::string minutesSeconds(seconds s) {
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", static_cast<long>(s.count() / 60),
                  static_cast<long>(s.count() % 60));
    return text;
}

std::string result(const PortView& p) {
    std::string line = p.outcome + " (exit " + std::to_string(p.exit) + ")";
    if (p.exit != 0 && !p.message.empty()) line += ": " + p.message;
    return line;
}

// The port's line on the board: port, unit type, phase, share done and time left, or the result.
std::string boardLine(const PortView& p, std::size_t portWidth) {
    std::string line = padded(p.port, portWidth) + "  " + padded(p.unit.empty() ? "-" : p.unit, 4);
    line += "  ";
    if (p.stage == PortView::Stage::Waiting) {
        return line + "waiting for the next unit (" + std::to_string(p.done) + " done, last " +
               result(p) + ")";
    }
    if (p.stage == PortView::Stage::Ended) return line + result(p);
    if (!p.progressSeen) return line + "starting";
    const Progress& at = p.progress;
    line += padded(phaseCaption(at.phase), kPhaseWidth);
    if (measured(at.phase) && at.total > 0) {
        char share[8];
        std::snprintf(share, sizeof share, "%3d%%", at.done * 100 / at.total);
        line += share;
    }
    if (measured(at.phase) && at.done > 0 && at.done < at.total) {
        const auto spent = duration_cast<milliseconds>(StationClock::now() - p.phaseStarted);
        line += "  " +
                minutesSeconds(duration_cast<seconds>(spent * (at.total - at.done) / at.done)) +
                " left";
    }
    if (at.retries > 0) line += ", " + std::to_string(at.retries) + " retries";
    return line;
}

std::vector<std::string> summaryLines(const std::vector<UnitRun>& runs, int exit) {
    int complete = 0;
    for (const UnitRun& run : runs) complete += run.exit == 0 ? 1 : 0;
    std::vector<std::string> lines{"Station: " + std::to_string(runs.size()) + " units, " +
                                   std::to_string(complete) + " complete, " +
                                   std::to_string(runs.size() - complete) +
                                   " failed; exit status " + std::to_string(exit)};
    for (const UnitRun& run : runs) {
        char time[32];
        std::snprintf(time, sizeof time, "%.1f s", run.seconds);
        std::string line = "  " + run.port + "  " + (run.unit.empty() ? "-" : run.unit) +
                           "  firmware " + (run.versionBefore.empty() ? "-" : run.versionBefore) +
                           " -> " + (run.versionAfter.empty() ? "-" : run.versionAfter) + "  " +
                           run.outcome + " (exit " + std::to_string(run.exit) + ")  " + time;
        if (!run.backup.empty()) line += "  backup " + run.backup;
        lines.push_back(line);
    }
    return lines;
}

// One line a port, rewritten in place: the cursor goes back up over the lines drawn last.
class Board : public StationDisplay {
  public:
    Board() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (dirty_ || StationClock::now() - drawnAt_ >= kBoardRedraw) draw();
        });
        timer_.start(kBoardRefresh);
    }
    void started(const PortView& port) override {
        if (std::find(ports_.begin(), ports_.end(), &port) == ports_.end()) {
            ports_.push_back(&port);
            portWidth_ = std::max(portWidth_, port.port.size());
        }
        news();
    }
    void event(const PortView&, const std::string&, const QJsonObject&) override { news(); }
    void note(const PortView* port, const std::string& text) override {
        clear();
        std::cerr << (port ? port->port + ": " : "") << text << '\n';
        draw();
    }
    void changed(const PortView&) override { draw(); }
    void finish(const std::vector<UnitRun>& runs, int exit) override {
        timer_.stop();
        draw();
        for (const std::string& line : summaryLines(runs, exit)) std::cerr << line << '\n';
        std::cerr << std::flush;
    }

  private:
    void news() { dirty_ = true; }
    void clear() {
        if (drawn_ > 0) std::cerr << "\033[" << drawn_ << "A\r\033[J";
        drawn_ = 0;
    }
    void draw() {
        // A line longer than the terminal would wrap, and the cursor would go back too few lines.
        const int columns = errorColumns();
        std::string out = drawn_ > 0 ? "\033[" + std::to_string(drawn_) + "A" : "";
        for (const PortView* port : ports_) {
            std::string line = boardLine(*port, portWidth_);
            if (columns > 1 && line.size() >= static_cast<std::size_t>(columns))
                line.resize(static_cast<std::size_t>(columns - 1));
            out += "\r\033[K" + line + "\n";
        }
        std::cerr << out << std::flush;
        drawn_ = static_cast<int>(ports_.size());
        dirty_ = false;
        drawnAt_ = StationClock::now();
    }

    std::vector<const PortView*> ports_;
    std::size_t portWidth_ = 4;
    int drawn_ = 0;
    bool dirty_ = false;
    StationClock::time_point drawnAt_{};
    QTimer timer_;
};

// Whole lines to `target`, each after the prefix, so that lines of several ports never mix.
class PrefixedLines : public std::streambuf {
  public:
    PrefixedLines(std::ostream& target, std::string prefix)
        : target_(target), prefix_(std::move(prefix)) {}

  protected:
    int overflow(int c) override {
        if (c == traits_type::eof()) return 0;
        line_ += static_cast<char>(c);
        if (c == '\n') {
            target_ << prefix_ << line_ << std::flush;
            line_.clear();
        }
        return c;
    }

  private:
    std::ostream& target_;
    std::string prefix_;
    std::string line_;
};

Colour colourNamed(const std::string& name) {
    if (name == "error") return Colour::Error;
    return name == "status" ? Colour::Status : Colour::Plain;
}

// The update report of a worker's closing event.
UpdateReport reportOf(const QJsonObject& e) {
    UpdateReport r;
    r.unitType = text(e, "unit");
    r.versionBefore = text(e, "version_before");
    r.versionAfter = text(e, "version_after");
    r.pagesSent = e.value("pages_sent").toInt();
    r.framesResent = e.value("pages_resent").toInt();
    r.eeWritten = e.value("eeprom_written").toInt();
    r.eeVerified = e.value("eeprom_verified").toInt();
    r.retries = e.value("retries").toInt();
    r.seconds = e.value("elapsed_s").toDouble();
    r.payloadBytes = std::llround(e.value("throughput_bps").toDouble() * r.seconds);
    r.codeSha256 = text(e, "code_sha256");
    r.eepromSha256 = text(e, "eeprom_sha256");
    return r;
}

// Each port's events played into a face of the command line's own, as `flash` would print them.
class Plain : public StationDisplay {
  public:
    void started(const PortView& port) override {
        Port& p = of(port);
        CliOptions options;
        options.yes = true;
        options.out = &p.out;
        options.err = &p.err;
        p.face = std::make_unique<CliFace>(options, "");
    }
    void event(const PortView& port, const std::string&, const QJsonObject& e) override {
        CliFace& face = *of(port).face;
        const std::string kind = text(e, "event");
        if (kind == "status") {
            face.status(colourNamed(text(e, "level")), text(e, "message"));
        } else if (kind == "log") {
            face.logAppend(text(e, "text") + "\n");
        } else if (kind == "box") {
            const bool decision = text(e, "buttons") == "ok-cancel";
            face.ask(
                {text(e, "message"), text(e, "title"), decision ? Buttons::OkCancel : Buttons::Ok});
        } else if (const auto phase = phaseNamed(text(e, "phase")); kind == "progress" && phase) {
            face.progress({*phase, e.value(countName(*phase)).toInt(), e.value("total").toInt(),
                           e.value("retries").toInt()});
        } else if (kind == "end") {
            if (e.contains("pages_sent")) face.summary(reportLine(reportOf(e)));
            face.finish(text(e, "outcome"), e.value("exit").toInt(), e.value("retries").toInt());
        }
    }
    void note(const PortView* port, const std::string& text) override {
        (port ? of(*port).err : std::cerr) << text << '\n' << std::flush;
    }
    void changed(const PortView& port) override {
        if (port.stage == PortView::Stage::Waiting)
            note(&port, "waiting for the next unit (" + std::to_string(port.done) + " done)");
    }
    void finish(const std::vector<UnitRun>& runs, int exit) override {
        for (const std::string& line : summaryLines(runs, exit)) std::cerr << line << '\n';
        std::cerr << std::flush;
    }

  private:
    struct Port {
        explicit Port(const std::string& name)
            : outLines(std::cout, name + ": "), errLines(std::cerr, name + ": ") {}
        PrefixedLines outLines, errLines;
        std::ostream out{&outLines}, err{&errLines};
        std::unique_ptr<CliFace> face;
    };
    Port& of(const PortView& port) {
        auto& p = ports_[port.port];
        if (!p) p = std::make_unique<Port>(port.port);
        return *p;
    }
    std::map<std::string, std::unique_ptr<Port>> ports_;
};

// The workers' events as they come, each with its port; the station's own events between.
class Json : public StationDisplay {
  public:
    void started(const PortView&) override {}
    void event(const PortView& port, const std::string& line, const QJsonObject&) override {
        if (line.size() < 2 || line.back() != '}') return;
        put(line.substr(0, line.size() - 1) + R"(,"port":)" + jsonString(port.port) + "}");
    }
    void note(const PortView* port, const std::string& text) override {
        put(R"({"event":"station",)" +
            (port ? R"("port":)" + jsonString(port->port) + "," : std::string()) + R"("message":)" +
            jsonString(text) + "}");
    }
    void changed(const PortView& port) override {
        if (port.stage != PortView::Stage::Waiting) return;
        put(R"({"event":"waiting","port":)" + jsonString(port.port) + R"(,"done":)" +
            std::to_string(port.done) + "}");
    }
    void finish(const std::vector<UnitRun>& runs, int exit) override {
        put(R"({"event":"station-end","runs":)" + std::to_string(runs.size()) + R"(,"exit":)" +
            std::to_string(exit) + "}");
    }

  private:
    static void put(const std::string& line) { std::cout << line << '\n' << std::flush; }
};

}  // namespace

std::unique_ptr<StationDisplay> StationDisplay::make(Form form) {
    switch (form) {
        case Form::Board:
            return std::make_unique<Board>();
        case Form::Json:
            return std::make_unique<Json>();
        case Form::Plain:
            break;
    }
    return std::make_unique<Plain>();
}

}  // namespace ondo
