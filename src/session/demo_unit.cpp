// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/demo_unit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <csignal>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif
#if defined(Q_OS_LINUX)
#include <sys/prctl.h>
#endif

namespace ondo {

namespace {
constexpr std::chrono::milliseconds kStartWait{5000};
constexpr std::chrono::milliseconds kStopWait{3000};

const char* const kRescueBoxTitle = "Rescue Requires a Temorary Jumper";

// What the demo unit's EEPROM holds before any update: what an owner and a calibration would
// have put there (a name, a serial number, a sensor curve), so that a backup before an update
// keeps something an update would overwrite. 2048 bytes; a smaller unit keeps the start.
QByteArray ownerEeprom() {
    constexpr int kSize = 2048;
    constexpr int kCurveAt = 0x40;
    constexpr int kCurvePoints = 64;
    constexpr int kSerialAt = 0x1F0;  // the last 16 bytes of the smallest EEPROM
    QByteArray bytes(kSize, '\xFF');
    const QByteArray owner = "OWNER Demo Workshop, car WB-4711; calibrated 2024-05-02";
    bytes.replace(0, owner.size(), owner);
    for (int i = 0; i < kCurvePoints; ++i) {
        const int value = 1000 + i * 37 + (i * i) % 23;  // a rising curve, not a copy of any image
        bytes[kCurveAt + 2 * i] = static_cast<char>(value >> 8);
        bytes[kCurveAt + 2 * i + 1] = static_cast<char>(value & 0xFF);
    }
    const QByteArray serial = "SERIAL 00004711";
    bytes.replace(kSerialAt, serial.size(), serial);
    return bytes;
}

// The simulated unit and the samples are looked for relative to the program, never at a path
// compiled in: an installed copy (any prefix) finds them in its install layout, the samples under
// the data folder (ONDO_BIN_TO_DATA: the relative path from the program's folder to it), the
// simulated unit beside the program; a build-tree copy finds both through the links its build
// puts beside it. The first candidate that exists wins, named without links; with none, the last.
QString firstExisting(const QStringList& candidates, bool executable) {
    for (const QString& path : candidates) {
        const QFileInfo info(path);
        if (info.exists() && (!executable || info.isExecutable())) return info.canonicalFilePath();
    }
    return candidates.back();
}

#if defined(Q_OS_UNIX)
// In the simulator's process before it starts. A process group of its own keeps a Ctrl-C at
// the terminal (which reaches the whole foreground group) from switching the unit off: it is
// meant for the utility, which takes it as the Abort button. The parent-death signal stops the
// unit when the utility ends without cleaning up (a second Ctrl-C quits at once).
void detachFromTerminalSignals() {
    ::setpgid(0, 0);
#if defined(Q_OS_LINUX)
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
}

void prepareChild(QProcess& process) {
    process.setChildProcessModifier(detachFromTerminalSignals);
}
#else
// The simulated unit runs on pseudo-terminals, which only POSIX systems have.
void prepareChild(QProcess&) {}
#endif
}  // namespace

#if defined(Q_OS_WIN)

std::string demoUnavailable() {
    return "The simulated unit of --demo needs a Linux machine (it runs on a pseudo-terminal); "
           "on Windows, connect a unit.";
}

#else

std::string demoUnavailable() {
    return {};
}

#endif

QString DemoUnit::programPath() {
    return firstExisting({QCoreApplication::applicationDirPath() + "/ondo-unit-sim"}, true);
}

QString DemoUnit::sampleFile() {
    const QString dir = QCoreApplication::applicationDirPath();
    const QString name = QStringLiteral("/samples/demo-AlaR.HXF");
    return firstExisting({dir + "/" ONDO_BIN_TO_DATA "/ondo-flash" + name, dir + name}, false);
}

QStringList DemoUnit::splitOptions(const QString& text) {
    return QProcess::splitCommand(text);
}

DemoUnit::DemoUnit(const QStringList& extraArgs) {
    const QString link = dir_.filePath("unit");
    QStringList args{"--link", link, "--control", dir_.filePath("control")};
    // The owner's data first: an --ee-init among extraArgs comes later and wins.
    QFile owner(dir_.filePath("owner.eeprom"));
    if (owner.open(QIODevice::WriteOnly) && owner.write(ownerEeprom()) > 0) {
        args += {"--ee-init", owner.fileName()};
    }
    owner.close();
    args += extraArgs;
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    prepareChild(process_);
    process_.start(programPath(), args);
    if (!process_.waitForStarted(static_cast<int>(kStartWait.count()))) {
        error_ = "Cannot start the simulated unit " + programPath() + ": " + process_.errorString();
        return;
    }
    // The first line the unit prints is its device; the link exists by then.
    if (!process_.waitForReadyRead(static_cast<int>(kStartWait.count())) ||
        !QFileInfo::exists(link)) {
        error_ = "The simulated unit named no device";
        return;
    }
    started_ = true;
}

DemoUnit::~DemoUnit() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(static_cast<int>(kStopWait.count()))) process_.kill();
    process_.waitForFinished(static_cast<int>(kStopWait.count()));
}

std::string DemoUnit::devicePath() const {
    return dir_.filePath("unit").toStdString();
}

void DemoUnit::control(const QString& request) {
    QFile fifo(dir_.filePath("control"));
    if (!fifo.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return;
    fifo.write((request + "\n").toLatin1());
}

void DemoUnit::answered(const MessageBox& box, Answer answer) {
    if (box.title == kRescueBoxTitle && answer == Answer::Ok) control("rescue");
}

DemoSession::DemoSession(const QStringList& simArgs)
    : unit_(simArgs),
      settings_(std::make_unique<Settings>(dir_.filePath("FLASH.ini").toStdString())) {
    settings_->overridePort(1, unit_.devicePath());
    settings_->saveKeySetting("port", "COM1");
    // Named from the current folder where it lies below it (samples/demo-AlaR.HXF from the
    // project), so that the file box shows a short name rather than this machine's folders.
    const QString sample = DemoUnit::sampleFile();
    const QString relative = QDir::current().relativeFilePath(sample);
    const bool below = !relative.startsWith("..") && QFileInfo(relative).isRelative();
    settings_->saveFileSetting("flashFile", (below ? relative : sample).toUtf8().toStdString());
}

}  // namespace ondo
