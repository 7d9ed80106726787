// SPDX-License-Identifier: GPL-3.0-or-later
// ondo-flash station: the units on several ports updated at the same time. Each update runs in a
// worker process of its own, `ondo-flash flash --port P --file F --yes --progress=json`, so that a
// unit that fails, goes silent or is unplugged holds up nothing but its own worker; the station
// only starts the workers, reads their JSON events, shows them and logs each unit's run.

#include "cli/station.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryFile>
#include <algorithm>
#include <deque>
#include <iostream>
#include <map>
#include <optional>

#include "cli/cli_command.h"
#include "cli/cli_eeprom.h"
#include "cli/station_display.h"
#include "cli/terminal.h"
#include "cli/worker_process.h"
#include "firmware/reader.h"
#include "session/exit_status.h"
#include "session/stop_signals.h"

namespace ondo {

namespace {

const char* kStationDescription =
    "Updates the units on several ports at the same time, each exactly as `flash --yes` does,\n"
    "each by a worker process of its own: a unit that fails, goes silent or is unplugged does\n"
    "not stop or slow the others. On a terminal one line a port is kept up to date (port, unit\n"
    "type, phase, share done, time left, result) and a summary follows; without one, the lines\n"
    "flash prints come each after its port (\"COM3: ...\"); --progress=json gives the workers'\n"
    "JSON events, each with a \"port\" member, and the station's own (\"waiting\", \"station\",\n"
    "\"station-end\").\n"
    "\n"
    "--loop: after a unit's run the station waits on its port until that unit has gone (its\n"
    "device vanished or it stopped answering) and another answers, then updates that one. The\n"
    "first Ctrl-C starts no new unit and lets the updates running finish; the second aborts\n"
    "them as Ctrl-C does in flash; a third quits them at once.\n"
    "\n"
    "Exit status:\n"
    "  0  every unit's run ended with status 0\n"
    "  2  bad arguments (nothing was started)\n"
    "  3  no valid firmware file (nothing was started)\n"
    "  otherwise the highest status a unit's run ended with: flash's (see flash --help), 130 for\n"
    "  a run quit at once, 7 for a worker that ended without its report";

constexpr const char* kTimeInFileNames = "yyyyMMdd-HHmmss";

struct StationArgs {
    std::string file;
    std::vector<std::string> ports;  // COM names in capitals, or device paths
    std::string backupDir;
    QString eeSize;
    bool loop = false;
    StationDisplay::Form form = StationDisplay::Form::Plain;
};

void addStationOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(kStationDescription);
    parser.addOptions({
        {"file", "The firmware file (.HXF).", "file"},
        {"ports",
         "The ports, separated by commas: COM1 to COM9 (through the port map) or device paths.",
         "ports"},
        {"backup-dir",
         "Before each update, save the unit's EEPROM as DIR/PORT-TIME.HXF (needs --ee-size).",
         "dir"},
        {"ee-size", "The units' EEPROM size for --backup-dir: 512, 1024, 2048 or a unit type.",
         "size"},
        {"log", "Append one JSON line for each unit's run to this file.", "file"},
        {"loop", "After each unit, wait on its port for the next one and update it too."},
        {"progress", "Progress as 'text' (default) or 'json', one object per event.", "format"},
    });
}

// The device a port argument stands for, as the system resolves it, to find one named twice.
std::string deviceOf(const std::string& port, const Settings& settings) {
    const std::string device =
        port.find('/') == std::string::npos ? settings.portDevice(port[3] - '0') : port;
    const QString canonical = QFileInfo(QString::fromStdString(device)).canonicalFilePath();
    return canonical.isEmpty() ? device : canonical.toStdString();
}

std::string portsProblem(const QStringList& names, StationArgs& out) {
    if (names.isEmpty()) return "--ports names no port";
    const Settings settings;
    std::map<std::string, std::string> seen;  // device -> the port as named
    for (const QString& name : names) {
        const std::string port = portArgument(name.trimmed());
        if (port.empty())
            return "unknown port '" + name.toStdString() + "': COM1 to COM9 or a device path";
        const std::string device = deviceOf(port, settings);
        if (seen.contains(device))
            return name.toStdString() + " and " + seen[device] + " are the same port (" + device +
                   ")";
        seen[device] = name.toStdString();
        out.ports.push_back(port);
    }
    return {};
}

std::string stationProblem(const QCommandLineParser& parser, StationArgs& out) {
    const QString progress = parser.value("progress");
    if (!parser.positionalArguments().isEmpty()) return "station takes options only";
    if (!progress.isEmpty() && progress != "json" && progress != "text")
        return "--progress takes text or json";
    if (out.file.empty() || !parser.isSet("ports")) return "--file and --ports are needed";
    if (parser.isSet("ee-size") && out.backupDir.empty()) return "--ee-size goes with --backup-dir";
    if (!out.backupDir.empty() && !parser.isSet("ee-size"))
        return "--backup-dir needs --ee-size: the running firmware cannot tell its EEPROM size";
    if (parser.isSet("ee-size") && eeSizeArgument(out.eeSize) == 0)
        return "--ee-size takes 512, 1024, 2048 or a unit type (AlaR, NmaS, BmaS, EnbS, XobS)";
    const QStringList names = parser.values("ports").join(',').split(',', Qt::SkipEmptyParts);
    return portsProblem(names, out);
}

std::string backupDirProblem(const std::string& dir) {
    if (dir.empty()) return {};
    const QString path = QString::fromStdString(dir);
    if (!QFileInfo(path).isDir()) return "the backup folder " + dir + " does not exist";
    QTemporaryFile trial(QDir(path).filePath("ondo-station-XXXXXX"));
    if (!trial.open())
        return "cannot write in the backup folder " + dir + ": " +
               trial.errorString().toStdString();
    return {};
}

// The firmware file read as each worker will read it, so that a bad one stops the station first.
std::string firmwareProblem(const std::string& file) {
    std::ostream discard(nullptr);
    CliOptions quiet;
    quiet.out = quiet.err = &discard;
    CliFace face(quiet, file);
    FirmwareImage image;
    readFlashFile(face, image, file, false);
    return image.FlashFileValid ? std::string() : file + ": " + face.lastError();
}

std::optional<int> parseStation(const QStringList& arguments, StationArgs& out, QFile& log) {
    QCommandLineParser parser;
    addStationOptions(parser);
    if (auto done = parse(parser, arguments, "station")) return done;
    out.file = parser.value("file").toStdString();
    out.backupDir = parser.value("backup-dir").toStdString();
    out.eeSize = parser.value("ee-size");
    out.loop = parser.isSet("loop");
    if (parser.value("progress") == "json") {
        out.form = StationDisplay::Form::Json;
    } else if (errorTakesProgressLine()) {
        out.form = StationDisplay::Form::Board;
    }
    std::string problem = stationProblem(parser, out);
    if (problem.empty()) problem = backupDirProblem(out.backupDir);
    if (problem.empty() && parser.isSet("log")) {
        log.setFileName(parser.value("log"));
        if (!log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            problem = "cannot open the log " + log.fileName().toStdString() + ": " +
                      log.errorString().toStdString();
    }
    if (!problem.empty()) return usageError("station", problem);
    if (const std::string bad = firmwareProblem(out.file); !bad.empty()) {
        std::cerr << "error: no valid firmware file: " << bad << '\n';
        return kExitNoFirmware;
    }
    return std::nullopt;
}

// A port's name as part of a file name: a device path's separators and the like become '_'.
std::string fileNamePart(const std::string& port) {
    std::string name;
    for (const char c : port) {
        const bool safe = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.';
        if (safe || (!name.empty() && name.back() != '_')) name += safe ? c : '_';
    }
    while (!name.empty() && name.back() == '_') name.pop_back();
    return name.empty() ? "port" : name;
}

// A JSON value as text, in the log's own member order.
std::string jsonText(const QJsonValue& value) {
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2).toStdString();
}

// Local time with its offset from UTC.
QString isoNow() {
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate);
}

// One port: what is shown of it, its worker (an update, or the probe waiting for the next unit)
// and the run under way.
struct Port {
    PortView view;
    QProcess* process = nullptr;
    bool probing = false;
    QByteArray pending;  // the worker's output after its last line end
    QJsonObject end;     // the run's closing event
    QString started;
    StationClock::time_point startedAt;
    std::string backup;
};

class Station {
  public:
    Station(StationArgs args, QFile& log)
        : args_(std::move(args)), log_(log), display_(StationDisplay::make(args_.form)) {
        for (const std::string& port : args_.ports) ports_.emplace_back().view.port = port;
    }
    int run();

  private:
    void startUpdate(Port& port);
    void startProbe(Port& port);
    void startWorker(Port& port, const QStringList& arguments, bool probe);
    void workerEnded(Port& port, QProcess* process, int code, QProcess::ExitStatus status);
    void readLines(Port& port);
    void take(Port& port, const std::string& line);
    void updateEnded(Port& port, int exit);
    void probeEnded(Port& port, int exit);
    void portEnded(Port& port);
    void writeLog(const Port& port, int exit);
    void stop();
    std::string backupPath(const std::string& port) const;

    StationArgs args_;
    QFile& log_;
    std::unique_ptr<StationDisplay> display_;
    std::deque<Port> ports_;  // the displays keep pointers to the views: never moved
    std::vector<UnitRun> runs_;
    QObject owner_;
    QEventLoop loop_;
    int stops_ = 0;  // Ctrl-C and SIGTERM requests so far
    int exit_ = kExitOk;
    bool finished_ = false;
};

int Station::run() {
    onStopSignals(
        owner_, [this] { stop(); }, SecondStop::Again);
    for (Port& port : ports_) startUpdate(port);
    loop_.exec();
    return exit_;
}

std::string Station::backupPath(const std::string& port) const {
    const QString stem = QDir(QString::fromStdString(args_.backupDir))
                             .filePath(QString::fromStdString(fileNamePart(port)) + "-" +
                                       QDateTime::currentDateTime().toString(kTimeInFileNames));
    QString path = stem + ".HXF";
    for (int n = 2; QFileInfo::exists(path); ++n) path = stem + "-" + QString::number(n) + ".HXF";
    return path.toStdString();
}

void Station::startUpdate(Port& port) {
    PortView& view = port.view;
    view.stage = PortView::Stage::Updating;
    view.unit.clear();
    view.progressSeen = false;
    port.end = {};
    port.started = isoNow();
    port.startedAt = StationClock::now();
    port.backup = args_.backupDir.empty() ? std::string() : backupPath(view.port);
    QStringList arguments{"flash",
                          "--port",
                          QString::fromStdString(view.port),
                          "--file",
                          QString::fromStdString(args_.file),
                          "--yes",
                          "--progress=json"};
    if (!port.backup.empty())
        arguments << "--backup-ee" << QString::fromStdString(port.backup) << "--ee-size"
                  << args_.eeSize;
    display_->started(view);
    startWorker(port, arguments, false);
}

void Station::startProbe(Port& port) {
    startWorker(port, {"probe", "--port", QString::fromStdString(port.view.port), "--next"}, true);
}

void Station::startWorker(Port& port, const QStringList& arguments, bool probe) {
    auto* process = new QProcess(&owner_);
    process->setStandardInputFile(QProcess::nullDevice());
    prepareWorker(*process);
    port.process = process;
    port.probing = probe;
    port.pending.clear();
    QObject::connect(process, &QProcess::readyReadStandardOutput, &owner_,
                     [this, &port] { readLines(port); });
    QObject::connect(process, &QProcess::readyReadStandardError, &owner_, [this, &port, process] {
        for (const QByteArray& line : process->readAllStandardError().split('\n'))
            if (!line.trimmed().isEmpty()) display_->note(&port.view, line.toStdString());
    });
    QObject::connect(process, &QProcess::finished, &owner_,
                     [this, &port, process](int code, QProcess::ExitStatus status) {
                         workerEnded(port, process, code, status);
                     });
    QObject::connect(process, &QProcess::errorOccurred, &owner_,
                     [this, &port, process](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             workerEnded(port, process, 0, QProcess::CrashExit);
                     });
    process->start(QCoreApplication::applicationFilePath(), arguments);
}

// A worker that did not end by itself (a crash, a kill, a failed start) counts as a failed
// flash: what the unit holds is not known.
void Station::workerEnded(Port& port, QProcess* process, int code, QProcess::ExitStatus status) {
    if (port.process != process) return;
    readLines(port);
    port.process = nullptr;
    process->deleteLater();
    const int exit = status == QProcess::NormalExit ? code : kExitFlashFailed;
    if (port.probing) {
        probeEnded(port, exit);
    } else {
        updateEnded(port, exit);
    }
}

void Station::readLines(Port& port) {
    if (!port.process) return;
    port.pending += port.process->readAllStandardOutput();
    for (qsizetype end; (end = port.pending.indexOf('\n')) >= 0;) {
        const std::string line = port.pending.left(end).trimmed().toStdString();
        port.pending.remove(0, end + 1);
        if (!line.empty()) take(port, line);
    }
}

void Station::take(Port& port, const std::string& line) {
    PortView& view = port.view;
    if (port.probing) {  // its first line: the finished unit is still there, or has gone
        if (view.stage == PortView::Stage::Waiting) return;
        view.stage = PortView::Stage::Waiting;
        display_->changed(view);
        return;
    }
    const QJsonObject e = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    const QString kind = e.value("event").toString();
    if (kind.isEmpty()) return display_->note(&view, line);
    if (kind == "unit") view.unit = e.value("unit").toString().toStdString();
    if (kind == "end") port.end = e;
    if (const auto phase = phaseNamed(e.value("phase").toString().toStdString());
        kind == "progress" && phase) {
        if (!view.progressSeen || view.progress.phase != *phase)
            view.phaseStarted = StationClock::now();
        view.progress = {*phase, e.value(countName(*phase)).toInt(), e.value("total").toInt(),
                         e.value("retries").toInt()};
        view.progressSeen = true;
    }
    display_->event(view, line, e);
}

void Station::updateEnded(Port& port, int exit) {
    PortView& view = port.view;
    if (port.end.isEmpty()) {  // the worker left no report: one is made for it
        display_->note(&view,
                       "the worker ended without its report (exit " + std::to_string(exit) + ")");
        port.end = {{"event", "end"},
                    {"outcome", "worker-lost"},
                    {"exit", exit},
                    {"message", "the worker ended without its report"}};
        display_->event(view, QJsonDocument(port.end).toJson(QJsonDocument::Compact).toStdString(),
                        port.end);
    }
    view.outcome = port.end.value("outcome").toString().toStdString();
    view.exit = exit;
    view.message = port.end.value("message").toString().toStdString();
    if (view.unit.empty()) view.unit = port.end.value("unit").toString().toStdString();
    ++view.done;
    exit_ = std::max(exit_, exit);
    writeLog(port, exit);
    const bool backedUp =
        !port.backup.empty() && QFileInfo::exists(QString::fromStdString(port.backup));
    runs_.push_back({view.port, view.unit, view.outcome,
                     port.end.value("version_before").toString().toStdString(),
                     port.end.value("version_after").toString().toStdString(),
                     backedUp ? port.backup : std::string(), exit,
                     std::chrono::duration<double>(StationClock::now() - port.startedAt).count()});
    if (args_.loop && stops_ == 0) {
        startProbe(port);
    } else {
        portEnded(port);
    }
}

void Station::probeEnded(Port& port, int exit) {
    if (stops_ == 0 && exit == kExitOk) return startUpdate(port);
    if (stops_ == 0)
        display_->note(&port.view,
                       "the wait for the next unit ended with status " + std::to_string(exit));
    portEnded(port);
}

void Station::portEnded(Port& port) {
    port.view.stage = PortView::Stage::Ended;
    display_->changed(port.view);
    const bool all = std::all_of(ports_.begin(), ports_.end(), [](const Port& p) {
        return p.view.stage == PortView::Stage::Ended;
    });
    if (!all || finished_) return;
    finished_ = true;
    display_->finish(runs_, exit_);
    loop_.quit();
}

// One line for each unit's run, appended whole and at once, never rewritten.
void Station::writeLog(const Port& port, int exit) {
    if (!log_.isOpen()) return;
    const QJsonObject& e = port.end;
    const auto member = [&e](const char* name, bool number) {
        return std::string(",\"") + name + "\":" +
               jsonText(number ? QJsonValue(e.value(name).toInt())
                               : QJsonValue(e.value(name).toString()));
    };
    const bool backedUp =
        !port.backup.empty() && QFileInfo::exists(QString::fromStdString(port.backup));
    std::string line = "{\"start\":" + jsonText(port.started) + ",\"end\":" + jsonText(isoNow()) +
                       ",\"port\":" + jsonText(QString::fromStdString(port.view.port)) +
                       ",\"result\":" + jsonText(e.value("outcome").toString()) +
                       ",\"exit\":" + std::to_string(exit) + member("unit", false);
    for (const char* name : {"version_before", "version_after"}) line += member(name, false);
    for (const char* name :
         {"pages_sent", "pages_resent", "eeprom_written", "eeprom_verified", "retries"})
        line += member(name, true);
    for (const char* name : {"code_sha256", "eeprom_sha256"}) line += member(name, false);
    line +=
        ",\"backup\":" + jsonText(QString::fromStdString(backedUp ? port.backup : std::string())) +
        "}\n";
    if (log_.write(line.data(), static_cast<qint64>(line.size())) !=
        static_cast<qint64>(line.size()))
        display_->note(&port.view, "cannot write the log: " + log_.errorString().toStdString());
    log_.flush();
}

// The first request starts no new unit and lets the updates running finish; each later one is
// passed on to the updates running, as the terminal's Ctrl-C would have reached them.
void Station::stop() {
    ++stops_;
    const bool running = std::any_of(ports_.begin(), ports_.end(),
                                     [](const Port& p) { return p.process && !p.probing; });
    if (stops_ == 1) {
        display_->note(nullptr, running ? "Stopping: the updates running finish, no new unit is "
                                          "started (Ctrl-C again aborts them)"
                                        : "Stopping");
    } else if (running) {
        display_->note(nullptr, stops_ == 2 ? "Aborting the updates running, as Ctrl-C does in "
                                              "flash (Ctrl-C again quits them at once)"
                                            : "Quitting the updates running at once");
    }
    for (Port& port : ports_) {
        if (port.process && port.probing) port.process->kill();
        if (port.process && !port.probing && stops_ > 1) interruptWorker(*port.process);
    }
}

}  // namespace

int runStation(const QStringList& arguments) {
    StationArgs args;
    QFile log;
    if (auto done = parseStation(arguments, args, log)) return *done;
    return Station(std::move(args), log).run();
}

}  // namespace ondo
