// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the commands of the command-line mode share: argument parsing helpers and the run of a
// unit command (flash, or read-ee, which is the backup part of flash on its own).

#include <QCommandLineParser>
#include <QStringList>
#include <optional>
#include <string>

#include "cli/cli_face.h"
#include "core/settings.h"

namespace ondo {

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
    std::string backupFile;   // --backup-ee, or read-ee's --out
    int eeSize = 0;           // --ee-size in bytes; 0 when not given
    bool backupOnly = false;  // read-ee: the backup and nothing else
};

// Prints the error and the pointer to the command's help; returns the usage exit status.
std::optional<int> usageError(const char* command, const std::string& problem);
// Parses the command's own arguments; prints help or the error. Empty when the caller goes on.
std::optional<int> parse(QCommandLineParser& parser, const QStringList& args, const char* command);
// A COM name in any letter case (COM1 to COM9), or a device path; empty for anything else.
std::string portArgument(const QString& port);
// The name a port argument opens as: a COM name goes through the port map; a device path stands
// in for COM1 for this run.
std::string portName(const std::string& port, Settings& settings);
// Runs flash (or read-ee with backupOnly) on parsed arguments; returns the exit status.
int runUnitCommand(const FlashArgs& args);

}  // namespace ondo
