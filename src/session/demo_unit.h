// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulated unit as the demo and the command line's --demo start it: a child process on a
// pseudo-terminal, reached through a stable link path, stopped when this object goes.

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include "core/face.h"
#include "core/settings.h"

namespace ondo {

// Why the demo cannot run on this system, in one line; empty where it can.
std::string demoUnavailable();

class DemoUnit {
  public:
    // extraArgs are passed to the simulated unit as they stand (unit type, version, faults).
    explicit DemoUnit(const QStringList& extraArgs);
    ~DemoUnit();
    DemoUnit(const DemoUnit&) = delete;
    DemoUnit& operator=(const DemoUnit&) = delete;

    // False when the program could not be started or named no device in time.
    bool started() const { return started_; }
    QString error() const { return error_; }
    // The path that stays the unit's device for the whole run (a symbolic link).
    std::string devicePath() const;
    // Sends a control request ("rescue": power up with the jumper fitted).
    void control(const QString& request);
    // Plays the user's part after a message box: OK in the rescue box is the moment the user
    // switches the power back on with the jumper fitted, so the unit powers up into its
    // bootloader. Every other box changes nothing.
    void answered(const MessageBox& box, Answer answer);

    // The simulator's options as typed in one argument ("--type XobS --reject-page 17:always"),
    // quotes allowed around an option with blanks.
    static QStringList splitOptions(const QString& text);
    static QString programPath();
    // The sample firmware file that comes with the utility.
    static QString sampleFile();

  private:
    QTemporaryDir dir_;
    QProcess process_;
    bool started_ = false;
    QString error_;
};

// What the window runs on in the demo: the simulated unit and a settings store of the demo's
// own, so the user's settings stay as they are. That store remembers COM1, which stands for the
// simulated unit, and the sample firmware file (relative to the current folder when below it).
// Everything stops when this object goes.
class DemoSession {
  public:
    explicit DemoSession(const QStringList& simArgs);

    DemoUnit& unit() { return unit_; }
    Settings& settings() { return *settings_; }

  private:
    DemoUnit unit_;
    QTemporaryDir dir_;
    std::unique_ptr<Settings> settings_;
};

}  // namespace ondo
