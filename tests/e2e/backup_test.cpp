// The unit's own EEPROM kept through an update, end to end against one simulated unit holding an
// owner's bytes: read-ee, flash --backup-ee, the restore with --ee-only, the update report's
// fingerprints, and the failures that must leave no backup file and start no update.

#include <gtest/gtest.h>

#include <algorithm>

#include "firmware/hxf.h"
#include "support/run.h"
#include "support/sim_process.h"

// After the project's headers: Qt's "emit" keyword would spoil a name in them.
#include <QCryptographicHash>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

namespace ondo::testing {
namespace {

enum Check : unsigned {
    kBackupIsUnit = 1,   // the backup holds the unit's EEPROM as it started, nothing else
    kUnitAsBefore = 2,   // the unit's EEPROM is as it started
    kNoBackup = 4,       // no file of the backup's name, nor a temporary one, is left
    kNoUpdate = 8,       // the unit was never sent to its bootloader nor written to
    kReportHashes = 16,  // the last step's report fingerprints what the unit now holds
};
struct Step {
    std::vector<std::string> args;  // "PORT", "BACKUP", "SAMPLE" stand for those paths
    int exit;
};
struct Backup {
    const char* name;
    std::vector<std::string> sim;
    std::vector<Step> steps;
    unsigned checks;
    int eeSize = 512;
};
void PrintTo(const Backup& b, std::ostream* out) {
    *out << b.name;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
const std::vector<std::string> kFlash = {"flash", "--yes", "--port", "PORT", "--file", "SAMPLE"};
const Step kRestore = {
    {"flash", "--ee-only", "--ee-size", "512", "--port", "PORT", "--file", "BACKUP"}, 0};
Step readEe(const char* size, int exit) {
    return {{"read-ee", "--port", "PORT", "--out", "BACKUP", "--ee-size", size}, exit};
}
Step flashWithBackup(const std::vector<std::string>& more, int exit) {
    return {kFlash + std::vector<std::string>{"--backup-ee", "BACKUP", "--ee-size", "512"} + more,
            exit};
}
std::string sha256(const std::vector<std::uint8_t>& bytes) {
    return QCryptographicHash::hash(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<qsizetype>(bytes.size())),
                                    QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

class EepromBackup : public ::testing::TestWithParam<Backup> {};

TEST_P(EepromBackup, Row) {
    const Backup& c = GetParam();
    TempFolder folder;
    std::string start(2048, '\0');  // seeded bytes, as an owner's settings would be
    for (int a = 0; a < 2048; ++a) start[a] = static_cast<char>((a * 167 + 13) ^ (a >> 3));
    writeFile(folder.file("start.eeprom"), start);
    SimProcess sim(
        std::vector<std::string>{"--ee-init", folder.file("start.eeprom"), "--restart-ms", "100"} +
        c.sim);
    ASSERT_TRUE(sim.started()) << sim.error();
    const std::string backup = folder.file("backup.HXF");
    RunResult last;
    for (const Step& step : c.steps) {
        Child run;
        for (std::string arg : step.args)
            run.args.push_back(arg == "PORT"     ? sim.linkPath()
                               : arg == "BACKUP" ? backup
                               : arg == "SAMPLE" ? ONDO_SAMPLES_DIR "/demo-AlaR.HXF"
                                                 : arg);
        last = run.run();
        ASSERT_EQ(last.exitCode, step.exit) << step.args[0] << "\n" << last.err;
    }
    ASSERT_EQ(sim.stop(), 0);
    const std::vector<std::uint8_t> before(start.begin(), start.begin() + c.eeSize);
    if (c.checks & kBackupIsUnit) {
        FirmwareImage image;
        EXPECT_FALSE(readHxfText(readFile(backup), image).failed());
        EXPECT_EQ(
            std::vector<std::uint8_t>(image.EEimage.begin(), image.EEimage.begin() + c.eeSize),
            before);
        EXPECT_EQ(std::count(image.EEimage.begin() + c.eeSize, image.EEimage.end(), 0) +
                      std::count(image.FlashImage.begin(), image.FlashImage.end(), 0),
                  kEEImageSize - c.eeSize + kFlashImageSize)
            << "nothing but the EEPROM's bytes";
        Child check;
        check.args = {"check", backup};
        EXPECT_EQ(check.run().exitCode, 0);
    }
    if (c.checks & kUnitAsBefore) {
        EXPECT_EQ(sim.eeprom(), before);
    }
    if (c.checks & kNoBackup) {
        EXPECT_EQ(QDir(QString::fromStdString(folder.path())).entryList({"backup*"}, QDir::Files),
                  QStringList());
    }
    if (c.checks & kNoUpdate) {
        EXPECT_EQ(sim.stats()["boot_entries"], 0);
        EXPECT_EQ(sim.stats()["eeprom_writes"], 0);
    }
    if (c.checks & kReportHashes) {
        const auto end = QJsonDocument::fromJson(QByteArray::fromStdString(last.outLines().back()));
        EXPECT_EQ(end["code_sha256"].toString().toStdString(), sha256(sim.flash()));
        EXPECT_EQ(end["eeprom_sha256"].toString().toStdString(), sha256(sim.eeprom()));
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(EndToEnd, EepromBackup, ::testing::Values(
    Backup{"Backup512", {}, {readEe("512", 0)}, kBackupIsUnit | kUnitAsBefore},
    Backup{"Backup1024ByType", {"--type", "EnbS"}, {readEe("EnbS", 0)}, kBackupIsUnit | kUnitAsBefore, 1024},
    Backup{"Backup2048", {"--type", "XobS"}, {readEe("2048", 0)}, kBackupIsUnit | kUnitAsBefore, 2048},
    Backup{"ReadEeUpdateRestore", {}, {readEe("AlaR", 0), {kFlash, 0}, kRestore}, kBackupIsUnit | kUnitAsBefore},
    Backup{"BackupEeUpdateRestore", {}, {flashWithBackup({}, 0), kRestore}, kBackupIsUnit | kUnitAsBefore},
    Backup{"ReportHashesWhatTheUnitHolds", {}, {{kFlash + std::vector<std::string>{"--progress=json"}, 0}}, kReportHashes},
    Backup{"ReadKeepsFailing", {"--ee-bad-read", "300:always"}, {readEe("512", 10)}, kNoBackup | kUnitAsBefore},
    Backup{"UnitSilent", {"--silent"}, {readEe("512", 5)}, kNoBackup},
    Backup{"UnitVanishes", {"--vanish-at", "read:200"}, {readEe("512", 10)}, kNoBackup},
    Backup{"FailedBackupStartsNoUpdate", {"--ee-bad-read", "100:always"}, {flashWithBackup({}, 10)},
           kNoBackup | kNoUpdate | kUnitAsBefore},
    Backup{"VanishingUnitStartsNoUpdate", {"--vanish-at", "read:100"}, {flashWithBackup({}, 10)}, kNoBackup | kNoUpdate},
    Backup{"BackupWithRescueRefused", {}, {flashWithBackup({"--rescue"}, 2)}, kNoBackup | kNoUpdate},
    Backup{"BackupWithoutSizeRefused", {},
           {{{"read-ee", "--port", "PORT", "--out", "BACKUP"}, 2},
            {kFlash + std::vector<std::string>{"--backup-ee", "BACKUP"}, 2}},
           kNoBackup | kNoUpdate}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
}  // namespace ondo::testing
