// The unit's own EEPROM kept through an update: read-ee, flash --backup-ee, the restore with
// --ee-only, and the update report's fingerprints, end to end against one simulated unit.

#include <QCryptographicHash>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/cli_fixture.h"
#include "firmware/reader.h"
#include "support/recording_face.h"
#include "support/sim_process.h"

namespace ondo::testing {
namespace {

constexpr int kLargestEeprom = 2048;

enum Check : unsigned {
    kBackupIsUnit = 1,   // the backup holds the unit's EEPROM as it started, and check reads it
    kUnitAsBefore = 2,   // after every step the unit's EEPROM is as it started
    kNoBackup = 4,       // no file of the backup's name, nor a temporary one, is left
    kNoUpdate = 8,       // the unit was never sent to its bootloader nor written to
    kReportHashes = 16,  // the last step's report fingerprints what the unit now holds
};

struct Step {
    std::vector<std::string> args;  // "PORT", "BACKUP" and "SAMPLE" stand for those paths
    int exitCode;
};

struct Case {
    const char* name;
    std::vector<std::string> sim;
    std::vector<Step> steps;
    unsigned checks;
    int eeSize = 512;
};

std::vector<std::string> with(std::vector<std::string> args, std::vector<std::string> more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

const std::vector<std::string> kFlash = {"flash", "--yes", "--port", "PORT", "--file", "SAMPLE"};
const Step kRestore = {
    {"flash", "--ee-only", "--ee-size", "512", "--port", "PORT", "--file", "BACKUP"}, 0};

Step readEe(const char* size, int exitCode) {
    return {{"read-ee", "--port", "PORT", "--out", "BACKUP", "--ee-size", size}, exitCode};
}

Step flashWithBackup(std::vector<std::string> more, int exitCode) {
    return {with(kFlash, with({"--backup-ee", "BACKUP"}, std::move(more))), exitCode};
}

std::string sha256(const std::vector<std::uint8_t>& bytes) {
    const QByteArray data(reinterpret_cast<const char*>(bytes.data()),
                          static_cast<qsizetype>(bytes.size()));
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex().toStdString();
}

QJsonObject endEvent(const CliResult& r) {
    const auto lines = r.outLines();
    return lines.empty()
               ? QJsonObject()
               : QJsonDocument::fromJson(QByteArray::fromStdString(lines.back())).object();
}

class EepromBackup : public ::testing::TestWithParam<Case> {};

TEST_P(EepromBackup, Row) {
    const Case& c = GetParam();
    TempFolder folder;
    // What the unit holds before the test: seeded bytes, as an owner's settings would be.
    std::string start(kLargestEeprom, '\0');
    for (int a = 0; a < kLargestEeprom; ++a)
        start[a] = static_cast<char>((a * 167 + 13) ^ (a >> 3));
    writeFile(folder.file("start.eeprom"), start);
    SimProcess sim(with({"--ee-init", folder.file("start.eeprom"), "--restart-ms", "100"}, c.sim));
    ASSERT_TRUE(sim.started()) << sim.error();
    const std::string backup = folder.file("backup.HXF");
    CliResult last;
    for (const Step& step : c.steps) {
        CliRun run;
        for (std::string arg : step.args) {
            if (arg == "PORT") arg = sim.linkPath();
            if (arg == "BACKUP") arg = backup;
            if (arg == "SAMPLE") arg = samplePath();
            run.args.push_back(arg);
        }
        last = run.run();
        ASSERT_EQ(last.exitCode, step.exitCode) << step.args[0] << "\n" << last.err;
    }
    ASSERT_EQ(sim.stop(), 0);
    const std::vector<std::uint8_t> before(start.begin(), start.begin() + c.eeSize);
    if (c.checks & kBackupIsUnit) {
        FirmwareImage image;
        RecordingFace face;
        readFlashFile(face, image, backup, false);
        EXPECT_TRUE(image.FlashFileValid);
        const std::vector<std::uint8_t> held(image.EEimage.begin(),
                                             image.EEimage.begin() + c.eeSize);
        EXPECT_EQ(held, before);
        EXPECT_EQ(std::count(image.EEimage.begin() + c.eeSize, image.EEimage.end(), 0) +
                      std::count(image.FlashImage.begin(), image.FlashImage.end(), 0),
                  kEEImageSize - c.eeSize + kFlashImageSize)
            << "nothing but the EEPROM's bytes";
        CliRun check;
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
        EXPECT_EQ(text(endEvent(last)["code_sha256"]), sha256(sim.flash()));
        EXPECT_EQ(text(endEvent(last)["eeprom_sha256"]), sha256(sim.eeprom()));
    }
}

const std::string kBadRead = "--ee-bad-read";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, EepromBackup, ::testing::Values(
    Case{"Backup512", {}, {readEe("512", 0)}, kBackupIsUnit | kUnitAsBefore},
    Case{"Backup1024ByType", {"--type", "EnbS"}, {readEe("EnbS", 0)},
         kBackupIsUnit | kUnitAsBefore, 1024},
    Case{"Backup2048", {"--type", "XobS"}, {readEe("2048", 0)},
         kBackupIsUnit | kUnitAsBefore, 2048},
    Case{"ReadEeUpdateRestore", {}, {readEe("AlaR", 0), {kFlash, 0}, kRestore},
         kBackupIsUnit | kUnitAsBefore},
    Case{"BackupEeUpdateRestore", {}, {flashWithBackup({"--ee-size", "512"}, 0), kRestore},
         kBackupIsUnit | kUnitAsBefore},
    Case{"ReportHashesWhatTheUnitHolds", {}, {{with(kFlash, {"--progress=json"}), 0}},
         kReportHashes},
    Case{"ReadKeepsFailing", {"--ee-bad-read", "300:always"}, {readEe("512", 10)},
         kNoBackup | kUnitAsBefore},
    Case{"UnitSilent", {"--silent"}, {readEe("512", 5)}, kNoBackup},
    Case{"UnitVanishes", {"--vanish-at", "read:200"}, {readEe("512", 10)}, kNoBackup},
    Case{"FailedBackupStartsNoUpdate", {"--ee-bad-read", "100:always"},
         {flashWithBackup({"--ee-size", "512"}, 10)}, kNoBackup | kNoUpdate | kUnitAsBefore},
    Case{"VanishingUnitStartsNoUpdate", {"--vanish-at", "read:100"},
         {flashWithBackup({"--ee-size", "512"}, 10)}, kNoBackup | kNoUpdate},
    Case{"BackupWithRescueRefused", {}, {flashWithBackup({"--ee-size", "512", "--rescue"}, 2)},
         kNoBackup | kNoUpdate},
    Case{"BackupWithoutSizeRefused", {},
         {{{"read-ee", "--port", "PORT", "--out", "BACKUP"}, 2}, flashWithBackup({}, 2)},
         kNoBackup | kNoUpdate}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
}  // namespace ondo::testing
