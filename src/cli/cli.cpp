// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QProcess>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>

#include "cli/cli_command.h"
#include "cli/cli_eeprom.h"
#include "cli/cli_face.h"
#include "cli/latency_timer.h"
#include "cli/station.h"
#include "cli/system_ports.h"
#include "cli/terminal.h"
#include "core/build_info.h"
#include "core/settings.h"
#include "engine/engine.h"
#include "firmware/reader.h"
#include "flash/sequence.h"
#include "link/link.h"
#include "link/port_map.h"
#include "link/qtwaiter.h"
#include "ports/port_list.h"
#include "session/demo_unit.h"
#include "session/stop_signals.h"

namespace ondo {

namespace {

constexpr std::chrono::milliseconds kTick{100};

int exitFor(RunOutcome outcome, bool cancelled) {
    switch (outcome) {
        case RunOutcome::Complete:
            return kExitOk;
        case RunOutcome::NoImage:
        case RunOutcome::NoFile:
            return kExitNoFirmware;
        case RunOutcome::PortClosed:
            return kExitPortNotOpen;
        case RunOutcome::NoComms:
        case RunOutcome::NeedsRescue:
            return kExitNoUnit;
        case RunOutcome::NoBootloader:
            return kExitNoBootloader;
        case RunOutcome::Cancelled:
            return kExitCancelled;
        case RunOutcome::EepromIncomplete:
            return cancelled ? kExitCancelled : kExitEepromIncomplete;
        case RunOutcome::EepromSizeAssumed:
            return kExitEepromIncomplete;
        case RunOutcome::Aborted:
        case RunOutcome::PageFailed:
        case RunOutcome::LineLost:
        case RunOutcome::NoRestart:
        case RunOutcome::NotRun:
            return kExitFlashFailed;
    }
    return kExitFlashFailed;
}

const char* outcomeName(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::NotRun:
            return "not-run";
        case RunOutcome::NoImage:
            return "no-image";
        case RunOutcome::PortClosed:
            return "port-closed";
        case RunOutcome::NoComms:
            return "no-comms";
        case RunOutcome::NeedsRescue:
            return "needs-rescue";
        case RunOutcome::NoFile:
            return "no-file";
        case RunOutcome::Cancelled:
            return "cancelled";
        case RunOutcome::NoBootloader:
            return "no-bootloader";
        case RunOutcome::Aborted:
            return "aborted";
        case RunOutcome::PageFailed:
            return "page-failed";
        case RunOutcome::LineLost:
            return "line-lost";
        case RunOutcome::NoRestart:
            return "no-restart";
        case RunOutcome::EepromIncomplete:
            return "eeprom-incomplete";
        case RunOutcome::EepromSizeAssumed:
            return "eeprom-size-assumed";
        case RunOutcome::Complete:
            return "complete";
    }
    return "unknown";
}

// The parser's help names the program by the path it was started as; the command's help names
// the command as it is typed.
std::string helpText(const QCommandLineParser& parser, const char* command) {
    const QString text = parser.helpText();
    const qsizetype lineEnd = text.indexOf('\n');
    const QString usage = text.left(lineEnd);
    const qsizetype options = usage.indexOf(" [options]");
    if (!usage.startsWith("Usage: ") || options < 0) return text.toStdString();
    return "Usage: ondo-flash " + std::string(command) + usage.mid(options).toStdString() +
           text.mid(lineEnd).toStdString();
}

}  // namespace

std::optional<int> usageError(const char* command, const std::string& problem) {
    std::cerr << "error: " << problem << "\nSee: ondo-flash " << command << " --help\n";
    return kExitUsage;
}

// Parses the command's own arguments; prints help or the error. Empty when the caller goes on.
std::optional<int> parse(QCommandLineParser& parser, const QStringList& args, const char* command) {
    parser.addHelpOption();
    if (!parser.parse(args)) return usageError(command, parser.errorText().toStdString());
    if (parser.isSet("help") || parser.isSet("help-all")) {
        std::cout << helpText(parser, command);
        return kExitOk;
    }
    return std::nullopt;
}

namespace {

CliOptions terminalOptions() {
    CliOptions o;
    o.interactive = inputIsTerminal();
    o.progressLine = errorTakesProgressLine();
    return o;
}

int runCheck(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription("Reads a firmware file as the window does and reports it.");
    parser.addPositionalArgument("file", "The firmware file (.HXF).");
    if (auto done = parse(parser, args, "check")) return *done;
    if (parser.positionalArguments().size() != 1) {
        return *usageError("check", "check takes one file");
    }
    const std::string file = parser.positionalArguments().front().toStdString();
    CliFace face(CliOptions{}, file);
    FirmwareImage image;
    readFlashFile(face, image, file, false);
    face.finish(image.FlashFileValid ? "valid" : "invalid", 0, 0);
    return image.FlashFileValid ? kExitOk : kExitNoFirmware;
}

int runPorts(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Lists COM1 to COM9 with the device each stands for and whether it can be opened now\n"
        "(on Windows also the ports above COM9 the system has, which the utility does not offer);\n"
        "for a USB adapter, its latency timer where the system shows it.");
    if (auto done = parse(parser, args, "ports")) return *done;
    if (!parser.positionalArguments().isEmpty()) {
        return *usageError("ports", "ports takes no arguments");
    }
    Settings settings;
    auto library = makeMappedLibrary(settings);
    for (int number = 0; number < kPortsProbed; ++number) {
        const std::string device = settings.portDevice(number + 1);
        const PortProbe probe = probePort(*library, number);
        std::string state = "available";
        if (probe.result == sio::kOsError) {
            state = "not available: " + probe.errorText;
        } else if (probe.result < 0) {
            state = "not available: error " + std::to_string(probe.result);
        }
        std::cout << comName(number) << "  " << device << "  " << state;
        const auto timer = readLatencyTimer(device, sysfsRoot());
        if (timer) std::cout << "  " << latencyTimerText(*timer);
        std::cout << '\n';
        if (timer && !latencyTimerHint(*timer).empty())
            std::cout << "  " << latencyTimerHint(*timer) << '\n';
    }
    const std::vector<std::string> above = systemPortsAboveNine();
    for (const std::string& name : above) std::cout << name << "  not offered\n";
    if (!above.empty()) std::cout << "  " << kRenumberHint << '\n';
    return kExitOk;
}

}  // namespace

namespace {

const char* kFlashDescription =
    "Updates a unit: its code flash through the bootloader, then its EEPROM, with no window.\n"
    "Status and errors go to standard error, the progress log to standard output.\n"
    "\n"
    "Exit status:\n"
    "  0  every step of the chosen update ran, was acknowledged and verified\n"
    "  2  bad arguments\n"
    "  3  no valid firmware file\n"
    "  4  the port could not be opened\n"
    "  5  the unit's firmware did not answer, or it is too old and needs --rescue\n"
    "  6  the bootloader did not identify itself\n"
    "  7  flashing failed or was aborted: the unit needs a rescue re-flash\n"
    "  8  the EEPROM update is incomplete (also an --ee-only run without --ee-size: it\n"
    "     updates 512 bytes, and a larger EEPROM only in part)\n"
    "  9  cancelled (also by a question with no terminal to ask on and no --yes)\n"
    " 10  --backup-ee: an EEPROM address could not be read; nothing was sent to the bootloader";

void addFlashOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(kFlashDescription);
    parser.addOptions({
        {"port",
         "COM1 to COM9 (through the port map) or a device path (for this run it stands "
         "in for COM1).",
         "port"},
        {"file", "The firmware file (.HXF).", "file"},
        {"ee-only", "Update only the EEPROM."},
        {"flash-only", "Program only the code flash, no EEPROM update."},
        {"rescue", "Enter the bootloader by the rescue procedure (jumper and power-up)."},
        {"yes", "Answer OK to every question (for scripts)."},
        {"progress", "Progress as 'text' (default) or 'json', one object per event.", "format"},
        {"demo",
         "Run against the simulated unit on COM1, with the sample firmware file unless "
         "--file names another."},
        {"sim-args", "With --demo: options for the simulated unit, in one argument.", "options"},
        {"backup-ee",
         "Before the update, read the unit's EEPROM with its running firmware into this HXF "
         "file (needs --ee-size; not with --rescue). The update does not start if the backup "
         "fails. Restore it with --ee-only --ee-size SIZE --file FILE.",
         "file"},
        {"ee-size",
         "The unit's EEPROM size for --backup-ee and --ee-only: 512, 1024, 2048 or the unit "
         "type (AlaR, NmaS, BmaS, EnbS, XobS). An --ee-only run without it updates 512 bytes "
         "and ends with status 8, since a larger EEPROM would be updated only in part.",
         "size"},
    });
}

}  // namespace

std::string portArgument(const QString& port) {
    if (port.contains('/')) return port.toStdString();
    const QString name = port.toUpper();
    if (name.size() == 4 && name.startsWith("COM") && name[3] >= '1' && name[3] <= '9') {
        return name.toStdString();
    }
    return {};
}

namespace {

// What is wrong with the arguments taken together; empty when nothing is.
std::string flashProblem(const QCommandLineParser& parser, const FlashArgs& args) {
    const QString progress = parser.value("progress");
    if (!parser.positionalArguments().isEmpty()) return "flash takes no file without --file";
    if (!progress.isEmpty() && progress != "json" && progress != "text")
        return "--progress takes text or json";
    if (args.eeOnly && args.flashOnly) return "--ee-only and --flash-only exclude each other";
    if (args.eeOnly && args.rescue) return "--ee-only and --rescue exclude each other";
    if (args.demo && parser.isSet("port")) return "--demo brings its own port; leave out --port";
    if (!args.demo && parser.isSet("sim-args")) return "--sim-args goes with --demo";
    if (!args.demo && (!parser.isSet("port") || args.file.empty()))
        return "--port and --file are needed";
    if (parser.isSet("port") && args.port.empty())
        return "--port takes COM1 to COM9 or a device path";
    if (!args.backupFile.empty() && args.rescue)
        return "--backup-ee reads the EEPROM through the running firmware, and with --rescue there "
               "is none: back up with read-ee while the unit still runs, then rescue";
    if (parser.isSet("ee-size") && !args.eeOnly && args.backupFile.empty())
        return "--ee-size goes with --ee-only or --backup-ee";
    if (parser.isSet("ee-size") && args.eeSize == 0)
        return "--ee-size takes 512, 1024, 2048 or a unit type (AlaR, NmaS, BmaS, EnbS, XobS)";
    if (!args.backupFile.empty() && args.eeSize == 0)
        return "--backup-ee needs --ee-size: the running firmware cannot tell its EEPROM size";
    return {};
}

std::optional<int> parseFlash(const QStringList& args, FlashArgs& out) {
    QCommandLineParser parser;
    addFlashOptions(parser);
    if (auto done = parse(parser, args, "flash")) return done;
    out.port = portArgument(parser.value("port"));
    out.file = parser.value("file").toStdString();
    out.eeOnly = parser.isSet("ee-only");
    out.flashOnly = parser.isSet("flash-only");
    out.rescue = parser.isSet("rescue");
    out.yes = parser.isSet("yes");
    out.demo = parser.isSet("demo");
    out.simArgs = QProcess::splitCommand(parser.value("sim-args"));
    out.json = parser.value("progress") == "json";
    out.backupFile = parser.value("backup-ee").toStdString();
    out.eeSize = eeSizeArgument(parser.value("ee-size"));
    if (const std::string why = out.demo ? demoUnavailable() : ""; !why.empty()) {
        std::cerr << why << '\n';
        return kExitUsage;
    }
    const std::string problem = flashProblem(parser, out);
    if (!problem.empty()) return usageError("flash", problem);
    return std::nullopt;
}

}  // namespace

std::string portName(const std::string& port, Settings& settings) {
    if (port.find('/') == std::string::npos) return port;
    settings.overridePort(1, port);
    return "COM1";
}

namespace {

class FlashCommand {
  public:
    explicit FlashCommand(const FlashArgs& args)
        : args_(args),
          face_(options(args), args.file),
          library_(makeMappedLibrary(settings_)),
          engine_(*library_, waiter_, face_) {
        engine_.reset();
    }

    int run();

  private:
    static CliOptions options(const FlashArgs& args) {
        CliOptions o = terminalOptions();
        o.yes = args.yes;
        o.json = args.json;
        return o;
    }
    bool startDemo();
    void watchCtrlC();
    int end(RunOutcome outcome);
    int endWith(const std::string& outcome, int code);
    void warnIfBackupShort();

    FlashArgs args_;
    Settings settings_;
    CliFace face_;
    std::unique_ptr<sio::SerialLibrary> library_;
    QtWaiter waiter_;
    Engine engine_;
    // Short names for the engine's parts.
    Link& link_ = engine_.link();
    FirmwareImage& image_ = engine_.image();
    FlashSequence& sequence_ = engine_.sequence();
    QTimer timer_;
    std::unique_ptr<DemoUnit> demo_;
};

bool FlashCommand::startDemo() {
    demo_ = std::make_unique<DemoUnit>(args_.simArgs);
    if (!demo_->started()) {
        face_.status(Colour::Error, demo_->error().toStdString());
        return false;
    }
    settings_.overridePort(1, demo_->devicePath());
    args_.port = "COM1";
    if (args_.file.empty()) args_.file = DemoUnit::sampleFile().toStdString();
    face_.setFileName(args_.file);
    face_.afterAsk = [this](const MessageBox& box, Answer answer) { demo_->answered(box, answer); };
    return true;
}

// Ctrl-C is the Abort button; a second one quits at once.
void FlashCommand::watchCtrlC() {
    face_.abortButton = [this] { sequence_.btnAbort_Click(); };
    // Before the Abort button can be pressed, Ctrl-C stops the run as a close of the window
    // does: before anything reaches the bootloader or the EEPROM.
    face_.stopRequest = [this] { engine_.requestStop(); };
    onStopSignals(
        timer_, [this] { face_.interrupt(); }, SecondStop::QuitAtOnce);
}

// The report's members of the closing JSON event.
std::string reportFields(const UpdateReport& r) {
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, R"("elapsed_s":%.3f,"throughput_bps":%.1f)", r.seconds,
                  r.bytesPerSecond());
    return R"("unit":)" + jsonString(r.unitType) + R"(,"version_before":)" +
           jsonString(r.versionBefore) + R"(,"version_after":)" + jsonString(r.versionAfter) +
           R"(,"pages_sent":)" + std::to_string(r.pagesSent) + R"(,"pages_resent":)" +
           std::to_string(r.framesResent) + R"(,"eeprom_written":)" + std::to_string(r.eeWritten) +
           R"(,"eeprom_verified":)" + std::to_string(r.eeVerified) + "," + numbers +
           R"(,"code_sha256":)" + jsonString(r.codeSha256) + R"(,"eeprom_sha256":)" +
           jsonString(r.eepromSha256);
}

// The outcome's name for an exit status of the backup.
const char* backupOutcomeName(int code) {
    switch (code) {
        case kExitOk:
            return "complete";
        case kExitPortNotOpen:
            return "port-closed";
        case kExitNoUnit:
            return "no-comms";
        case kExitCancelled:
            return "aborted";
        default:
            return "backup-failed";
    }
}

int FlashCommand::end(RunOutcome outcome) {
    return endWith(outcomeName(outcome), exitFor(outcome, face_.cancelled()));
}

// Every flash ends with the update report, as a line and in the closing JSON event; read-ee
// has no update to report.
int FlashCommand::endWith(const std::string& outcome, int code) {
    link_.closePort();
    if (args_.backupOnly) {
        face_.finish(outcome, code, sequence_.ProgRetries);
        return code;
    }
    const UpdateReport report = sequence_.updateReport();
    face_.summary(reportLine(report));
    face_.finish(outcome, code, sequence_.ProgRetries, reportFields(report));
    return code;
}

int FlashCommand::run() {
    if (args_.demo && !startDemo()) return end(RunOutcome::PortClosed);
    watchCtrlC();
    timer_.setInterval(kTick);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        engine_.tick();
        face_.refresh();
    });
    timer_.start();
    if (!args_.backupOnly) {
        readFlashFile(face_, image_, args_.file, false);
        if (!image_.FlashFileValid) return end(RunOutcome::NoImage);
    }
    openNamedPort(link_, face_, portName(args_.port, settings_));
    if (!link_.PortOpen) return end(RunOutcome::PortClosed);
    if (!args_.backupFile.empty()) {
        // With the old firmware still running, before anything goes to the bootloader.
        link_.ResetTimeoutShort();
        const int code = backupEeprom(sequence_, face_, args_.eeSize, args_.backupFile);
        if (code != kExitOk || args_.backupOnly) return endWith(backupOutcomeName(code), code);
    }
    face_.setOption(Option::EEOnly, args_.eeOnly);
    face_.setOption(Option::FlashOnly, args_.flashOnly);
    face_.setOption(Option::Rescue, args_.rescue);
    if (args_.eeSize > 0) {
        sequence_.EESize = args_.eeSize;
        sequence_.EESizeKnown = true;
    }
    link_.ResetTimeoutShort();
    sequence_.btnFlashStart_Click();
    warnIfBackupShort();
    return end(sequence_.lastOutcome());
}

// The size given for --backup-ee is the user's word; the bootloader's identification, known only
// once the backup is made, can tell otherwise. Then the backup does not hold the whole EEPROM.
void FlashCommand::warnIfBackupShort() {
    const std::string unit = sequence_.updateReport().unitType;
    if (args_.backupFile.empty() || unit.empty() || sequence_.EESize == args_.eeSize) return;
    face_.status(Colour::Error, "The backup " + args_.backupFile + " holds " +
                                    std::to_string(args_.eeSize) + " bytes, but this unit (" +
                                    unit + ") has " + std::to_string(sequence_.EESize) +
                                    " bytes of EEPROM");
}

int runFlash(const QStringList& args) {
    FlashArgs parsed;
    if (auto done = parseFlash(args, parsed)) return *done;
    return runUnitCommand(parsed);
}

}  // namespace

int runUnitCommand(const FlashArgs& args) {
    return FlashCommand(args).run();
}

namespace {

const char* kUsage =
    "Usage: ondo-flash [--demo [--sim-args OPTIONS]]   the window\n"
    "       ondo-flash flash --port COM3 --file FW.HXF [--ee-only [--ee-size SIZE] | "
    "--flash-only]\n"
    "                        [--rescue]\n"
    "                        [--yes] [--progress=json] [--demo [--sim-args OPTIONS]]\n"
    "                        [--backup-ee EE.HXF --ee-size SIZE]\n"
    "       ondo-flash read-ee --port COM3 --out EE.HXF --ee-size SIZE [--progress=json]\n"
    "       ondo-flash station --file FW.HXF --ports COM3,COM4,COM5 [--loop] [--log FILE]\n"
    "                          [--backup-dir DIR --ee-size SIZE] [--progress=json]\n"
    "       ondo-flash probe --port COM3 [--next]\n"
    "       ondo-flash check FW.HXF\n"
    "       ondo-flash ports\n"
    "       ondo-flash --version\n"
    "Each command takes --help.\n";

}  // namespace

bool isCommandLine(int argc, char** argv) {
    if (argc < 2) return false;
    const std::string command = argv[1];
    return command == "flash" || command == "read-ee" || command == "check" || command == "ports" ||
           command == "station" || command == "probe" || command == "help" || command == "--help" ||
           command == "-h" || command == "--version" || command == "-V";
}

int runCommandLine(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("ondo-flash");
    QStringList args = app.arguments();
    const QString command = args.size() > 1 ? args.at(1) : QString();
    args.removeAt(1);  // the command's own parser sees the program name and its options
    if (command == "flash") return runFlash(args);
    if (command == "read-ee") return runReadEe(args);
    if (command == "check") return runCheck(args);
    if (command == "ports") return runPorts(args);
    if (command == "station") return runStation(args);
    if (command == "probe") return runProbe(args);
    if (command == "--version" || command == "-V") {
        std::cout << versionText("ondo-flash") << '\n';
        return kExitOk;
    }
    std::cout << kUsage;
    return kExitOk;
}

}  // namespace ondo
