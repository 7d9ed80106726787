#include "app/cli.h"

#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>

#include "app/cli_face.h"
#include "app/demo_unit.h"
#include "app/latency_timer.h"
#include "core/settings.h"
#include "firmware/reader.h"
#include "flash/sequence.h"
#include "link/link.h"
#include "link/qtwaiter.h"

namespace ondo {

namespace {

constexpr std::chrono::milliseconds kTick{100};
int signalPipe[2] = {-1, -1};

void onSigint(int) {
    static int presses = 0;
    if (++presses > 1) _exit(130);  // a second Ctrl-C quits at once
    const char byte = 1;
    [[maybe_unused]] auto written = write(signalPipe[1], &byte, 1);
}

std::string resolve(int port, void* context) {
    return static_cast<Settings*>(context)->portDevice(port + 1);
}

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

CliOptions terminalOptions() {
    CliOptions o;
    o.interactive = isatty(STDIN_FILENO) != 0;
    o.progressLine = isatty(STDERR_FILENO) != 0;
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
        "Lists COM1 to COM9 with the device each stands for and whether it can be opened now;\n"
        "for a USB adapter, its latency timer where the system shows it.");
    if (auto done = parse(parser, args, "ports")) return *done;
    if (!parser.positionalArguments().isEmpty()) {
        return *usageError("ports", "ports takes no arguments");
    }
    Settings settings;
    auto library = sio::makePlatformLibrary(resolve, &settings);
    for (int com = 1; com <= 9; ++com) {
        const std::string device = settings.portDevice(com);
        const int result = library->SioReset(com - 1, 2, 2);
        std::string state = "available";
        if (result >= 0) {
            library->SioDone(com - 1);
        } else if (result == sio::kOsError) {
            char text[128] = {};
            library->SioWinError(text, sizeof text);
            state = std::string("not available: ") + text;
        } else {
            state = "not available: error " + std::to_string(result);
        }
        std::cout << "COM" << com << "  " << device << "  " << state;
        const auto timer = readLatencyTimer(device, sysfsRoot());
        if (timer) std::cout << "  " << latencyTimerText(*timer);
        std::cout << '\n';
        if (timer && !latencyTimerHint(*timer).empty())
            std::cout << "  " << latencyTimerHint(*timer) << '\n';
    }
    return kExitOk;
}

}  // namespace

namespace {

struct FlashArgs {
    std::string port;
    std::string file;
    bool eeOnly = false;
    bool flashOnly = false;
    bool rescue = false;
    bool yes = false;
    bool json = false;
    bool demo = false;
    QStringList simArgs;
};

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
    "  8  the EEPROM update is incomplete\n"
    "  9  cancelled (also by a question with no terminal to ask on and no --yes)";

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
    });
}

// A COM name in any letter case (COM1 to COM9), or a device path; empty for anything else.
std::string portArgument(const QString& port) {
    if (port.contains('/')) return port.toStdString();
    const QString name = port.toUpper();
    if (name.size() == 4 && name.startsWith("COM") && name[3] >= '1' && name[3] <= '9') {
        return name.toStdString();
    }
    return {};
}

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
    const std::string problem = flashProblem(parser, out);
    if (!problem.empty()) return usageError("flash", problem);
    return std::nullopt;
}

// COM names go through the port map; a device path stands in for COM1 for this run.
std::string portName(const std::string& port, Settings& settings) {
    if (port.find('/') == std::string::npos) return port;
    settings.overridePort(1, port);
    return "COM1";
}

class FlashCommand {
  public:
    explicit FlashCommand(const FlashArgs& args)
        : args_(args),
          face_(options(args), args.file),
          library_(sio::makePlatformLibrary(resolve, &settings_)),
          link_(*library_, face_, waiter_, [] { return std::string(); }),
          sequence_(link_, image_, face_) {}

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

    FlashArgs args_;
    Settings settings_;
    CliFace face_;
    std::unique_ptr<sio::SerialLibrary> library_;
    QtWaiter waiter_;
    Link link_;
    FirmwareImage image_;
    FlashSequence sequence_;
    QTimer timer_;
    std::unique_ptr<DemoUnit> demo_;
    std::unique_ptr<QSocketNotifier> ctrlC_;
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

void FlashCommand::watchCtrlC() {
    if (pipe(signalPipe) != 0) return;
    ctrlC_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(ctrlC_.get(), &QSocketNotifier::activated, [this] {
        char byte;
        [[maybe_unused]] auto got = read(signalPipe[0], &byte, 1);
        face_.interrupt();
    });
    face_.abortButton = [this] { sequence_.btnAbort_Click(); };
    std::signal(SIGINT, onSigint);
}

int FlashCommand::end(RunOutcome outcome) {
    int code = exitFor(outcome, face_.cancelled());
    link_.closePort();
    face_.finish(outcomeName(outcome), code, sequence_.ProgRetries);
    return code;
}

int FlashCommand::run() {
    if (args_.demo && !startDemo()) return end(RunOutcome::PortClosed);
    watchCtrlC();
    timer_.setInterval(kTick);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        link_.Timer1_Timer();
        face_.refresh();
    });
    timer_.start();
    readFlashFile(face_, image_, args_.file, false);
    if (!image_.FlashFileValid) return end(RunOutcome::NoImage);
    face_.portListSelect(portName(args_.port, settings_));
    link_.cboPort_Click();
    if (!link_.PortOpen) return end(RunOutcome::PortClosed);
    face_.setOption(Option::EEOnly, args_.eeOnly);
    face_.setOption(Option::FlashOnly, args_.flashOnly);
    face_.setOption(Option::Rescue, args_.rescue);
    link_.ResetTimeoutShort();
    sequence_.btnFlashStart_Click();
    return end(sequence_.lastOutcome());
}

int runFlash(const QStringList& args) {
    FlashArgs parsed;
    if (auto done = parseFlash(args, parsed)) return *done;
    return FlashCommand(parsed).run();
}

const char* kUsage =
    "Usage: ondo-flash [--demo [--sim-args OPTIONS]]   the window\n"
    "       ondo-flash flash --port COM3 --file FW.HXF [--ee-only | --flash-only] [--rescue]\n"
    "                        [--yes] [--progress=json] [--demo [--sim-args OPTIONS]]\n"
    "       ondo-flash check FW.HXF\n"
    "       ondo-flash ports\n"
    "Each command takes --help.\n";

}  // namespace

bool isCommandLine(int argc, char** argv) {
    if (argc < 2) return false;
    const std::string command = argv[1];
    return command == "flash" || command == "check" || command == "ports" || command == "help" ||
           command == "--help" || command == "-h";
}

int runCommandLine(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("ondo-flash");
    QStringList args = app.arguments();
    const QString command = args.size() > 1 ? args.at(1) : QString();
    args.removeAt(1);  // the command's own parser sees the program name and its options
    if (command == "flash") return runFlash(args);
    if (command == "check") return runCheck(args);
    if (command == "ports") return runPorts(args);
    std::cout << kUsage;
    return kExitOk;
}

}  // namespace ondo
