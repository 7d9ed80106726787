// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_eeprom.h"

#include <QDateTime>
#include <QProcess>
#include <QSaveFile>
#include <iostream>

#include "cli/cli.h"
#include "cli/cli_command.h"
#include "core/messages.h"
#include "firmware/hxf_write.h"
#include "flash/sequence.h"
#include "protocol/bootloader.h"

namespace ondo {

namespace {

const char* kReadEeDescription =
    "Reads the unit's EEPROM through its running firmware and writes it to a firmware file\n"
    "that holds only EEPROM records. `ondo-flash check` reads it, and\n"
    "`ondo-flash flash --ee-only --ee-size SIZE --file FILE` writes it back.\n"
    "\n"
    "--ee-size is needed: the running firmware cannot tell its EEPROM size (only the\n"
    "bootloader names the unit type), and a guessed size would make a backup that looks whole\n"
    "but is not. Without it the command reads nothing and exits 2.\n"
    "The file is written only once every address was read; a failed read leaves no file\n"
    "(and an older file of that name as it was).\n"
    "\n"
    "Exit status:\n"
    "  0  every address read and the file written\n"
    "  2  bad arguments\n"
    "  4  the port could not be opened\n"
    "  5  the unit's firmware did not answer\n"
    "  9  aborted (Ctrl-C)\n"
    " 10  an address could not be read, or the file could not be written";

int exitFor(BackupOutcome outcome) {
    switch (outcome) {
        case BackupOutcome::Complete:
            return kExitOk;
        case BackupOutcome::PortClosed:
            return kExitPortNotOpen;
        case BackupOutcome::NoUnit:
            return kExitNoUnit;
        case BackupOutcome::Aborted:
            return kExitCancelled;
        case BackupOutcome::ReadFailed:
            return kExitBackupFailed;
    }
    return kExitBackupFailed;
}

std::string readEeProblem(const QCommandLineParser& parser, const FlashArgs& args) {
    const QString progress = parser.value("progress");
    if (!parser.positionalArguments().isEmpty()) return "read-ee takes no arguments but options";
    if (!progress.isEmpty() && progress != "json" && progress != "text")
        return "--progress takes text or json";
    if (args.demo && parser.isSet("port")) return "--demo brings its own port; leave out --port";
    if (!args.demo && parser.isSet("sim-args")) return "--sim-args goes with --demo";
    if ((!args.demo && !parser.isSet("port")) || args.backupFile.empty())
        return "--port and --out are needed";
    if (parser.isSet("port") && args.port.empty())
        return "--port takes COM1 to COM9 or a device path";
    if (!parser.isSet("ee-size"))
        return "--ee-size is needed: the running firmware cannot tell its EEPROM size";
    if (args.eeSize == 0)
        return "--ee-size takes 512, 1024, 2048 or a unit type (AlaR, NmaS, BmaS, EnbS, XobS)";
    return {};
}

}  // namespace

int eeSizeArgument(const QString& text) {
    if (text == "512" || text == "1024" || text == "2048") return text.toInt();
    const UnitType* type = findUnitType(text.toStdString());
    return type ? type->eeSize : 0;
}

int backupEeprom(FlashSequence& sequence, Face& face, int size, const std::string& path) {
    std::vector<std::uint8_t> bytes;
    const BackupOutcome outcome = sequence.BackupEE(size, bytes);
    if (outcome != BackupOutcome::Complete) return exitFor(outcome);
    const std::string n = std::to_string(size);
    const std::string text = hxfEepromText(
        bytes,
        {"EEPROM of a unit: " + n + " bytes from address 0, read through its running firmware " +
             sequence.updateReport().versionBefore,
         "Read by ondo-flash read-ee, " +
             QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString(),
         "Write it back: ondo-flash flash --ee-only --ee-size " + n + " --file THIS-FILE"});
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.commit()) {
        msgError(face, "Cannot write the EEPROM backup " + path + ": " +
                           file.errorString().toStdString());
        return kExitBackupFailed;
    }
    msgStatus(face, "EEPROM backup: " + n + " bytes in " + path);
    return kExitOk;
}

int runReadEe(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(kReadEeDescription);
    parser.addOptions({
        {"port",
         "COM1 to COM9 (through the port map) or a device path (for this run it stands "
         "in for COM1).",
         "port"},
        {"out", "The HXF file to write.", "file"},
        {"ee-size",
         "The unit's EEPROM size: 512, 1024, 2048 or the unit type (AlaR, NmaS, BmaS: 512; "
         "EnbS: 1024; XobS: 2048). Needed.",
         "size"},
        {"progress", "Progress as 'text' (default) or 'json', one object per event.", "format"},
        {"demo", "Read the simulated unit on COM1."},
        {"sim-args", "With --demo: options for the simulated unit, in one argument.", "options"},
    });
    if (auto done = parse(parser, args, "read-ee")) return *done;
    FlashArgs out;
    out.backupOnly = true;
    out.port = portArgument(parser.value("port"));
    out.backupFile = parser.value("out").toStdString();
    out.eeSize = eeSizeArgument(parser.value("ee-size"));
    out.json = parser.value("progress") == "json";
    out.demo = parser.isSet("demo");
    out.simArgs = QProcess::splitCommand(parser.value("sim-args"));
    const std::string problem = readEeProblem(parser, out);
    if (!problem.empty()) return *usageError("read-ee", problem);
    return runUnitCommand(out);
}

}  // namespace ondo
