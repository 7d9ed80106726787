#include "app/demo_unit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <chrono>

namespace ondo {

namespace {
constexpr std::chrono::milliseconds kStartWait{5000};
constexpr std::chrono::milliseconds kStopWait{3000};
}  // namespace

QString DemoUnit::programPath() {
    const QString beside = QCoreApplication::applicationDirPath() + "/ondo-unit-sim";
    if (QFileInfo(beside).isExecutable()) return beside;
#ifdef ONDO_SIM_PATH
    return QStringLiteral(ONDO_SIM_PATH);
#else
    return beside;
#endif
}

QString DemoUnit::sampleFile() {
    const QString beside = QCoreApplication::applicationDirPath() + "/samples/demo-AlaR.HXF";
    if (QFileInfo::exists(beside)) return beside;
#ifdef ONDO_SAMPLES_DIR
    return QStringLiteral(ONDO_SAMPLES_DIR) + "/demo-AlaR.HXF";
#else
    return beside;
#endif
}

DemoUnit::DemoUnit(const QStringList& extraArgs) {
    const QString link = dir_.filePath("unit");
    QStringList args{"--link", link, "--control", dir_.filePath("control")};
    args += extraArgs;
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
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

std::string DemoUnit::devicePath() const { return dir_.filePath("unit").toStdString(); }

void DemoUnit::control(const QString& request) {
    QFile fifo(dir_.filePath("control"));
    if (!fifo.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return;
    fifo.write((request + "\n").toLatin1());
}

}  // namespace ondo
