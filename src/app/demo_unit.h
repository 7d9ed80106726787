#pragma once
// The simulated unit as the demo and the command line's --demo start it: a child process on a
// pseudo-terminal, reached through a stable link path, stopped when this object goes.

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <string>

namespace ondo {

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

    static QString programPath();
    // The sample firmware file that comes with the utility.
    static QString sampleFile();

private:
    QTemporaryDir dir_;
    QProcess process_;
    bool started_ = false;
    QString error_;
};

}  // namespace ondo
