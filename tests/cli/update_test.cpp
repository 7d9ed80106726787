// Whole updates through "ondo-flash flash --demo": what the simulated unit holds afterwards,
// where the texts go, and the JSON events.

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include "cli/cli_fixture.h"

namespace ondo::testing {
namespace {

class DemoUpdate : public DemoRun {};

TEST_F(DemoUpdate, WholeUpdateLeavesTheSampleInTheUnitAndExitsZero) {
    const CliResult r = flash({});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    expectFlashIsSample();
    expectEepromIsSample();
    EXPECT_EQ(stat("pages_stored"), 124);
    EXPECT_EQ(stat("end_word"), 0x03FF);
}

TEST_F(DemoUpdate, StatusGoesToStandardErrorAndTheLogToStandardOutput) {
    const CliResult r = flash({"--yes"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // The status line's captions, once each, and the completion box as a line.
    EXPECT_EQ(occurrences(r.err, "Opened COM1\n"), 1) << r.err;
    EXPECT_TRUE(contains(r.err, "Programming 124 pages. 64 bytes/page.\n")) << r.err;
    EXPECT_TRUE(contains(r.err, "\nData from unit =  0024\n")) << r.err;
    EXPECT_TRUE(contains(r.err, "\nComplete.\n")) << r.err;
    EXPECT_TRUE(contains(
        r.err, "[Programming complete] Flash and EEPROM Programming complete (0 retries).\n"))
        << r.err;
    EXPECT_FALSE(contains(r.err, "\033")) << "no terminal codes off a terminal";
    // The progress log, line by line, with the unit's line ends made plain.
    EXPECT_TRUE(contains(r.out, "=!=0=!=1=!=2=")) << r.out;
    EXPECT_TRUE(contains(r.out, "=!=123=\nFlashing complete. Awaiting soft reboot ...\n"));
    EXPECT_TRUE(contains(r.out, "Programming 512 bytes of EE Prom.\n0000\n0001-0002-"));
    EXPECT_TRUE(contains(r.out, "\nEEPROM verifying\n"));
    EXPECT_EQ(r.outLines().back(), "Programming complete.");
    EXPECT_FALSE(contains(r.out, "\r"));
    EXPECT_FALSE(contains(r.out, "Opened COM1"));
}

TEST_F(DemoUpdate, WithoutATerminalTheProgressComesAsPlainLines) {
    const CliResult r = flash({});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "\nFlash: page 0 of 124 (0%), elapsed ")) << r.err;
    EXPECT_TRUE(contains(r.err, "\nFlash: page 62 of 124 (50%), elapsed ")) << r.err;
    EXPECT_TRUE(contains(r.err, "\nFlash: page 124 of 124 (100%), elapsed ")) << r.err;
    EXPECT_TRUE(contains(r.err, "\nEEPROM write: address 256 of 512 (50%), elapsed ")) << r.err;
    EXPECT_TRUE(contains(r.err, "\nEEPROM verify: address 512 of 512 (100%), elapsed ")) << r.err;
    // A tenth at a time, not a line per page.
    EXPECT_EQ(occurrences(r.err, "\nFlash: page "), 11) << r.err;
}

TEST_F(DemoUpdate, EEOnlyWritesTheEepromAndLeavesTheFlashAlone) {
    const CliResult r = flash({"--ee-only", "--ee-size", "AlaR"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    expectFlashErased();
    expectEepromIsSample();
    EXPECT_EQ(stat("boot_entries"), 0);
}

// An EE only run learns no unit type: without --ee-size it updates 512 bytes and does not
// report the whole of a 2,048-byte EEPROM as updated.
TEST_F(DemoUpdate, EEOnlyWithoutASizeSaysWhatItAssumed) {
    const CliResult r = flash({"--ee-only"}, "--type XobS");
    EXPECT_EQ(r.exitCode, 8) << r.err;
    EXPECT_TRUE(contains(r.err, "EEPROM size not known: 512 bytes updated; a larger EEPROM was "
                                "updated only in part."))
        << r.err;
    EXPECT_EQ(stat("eeprom_writes"), 512);
}

TEST_F(DemoUpdate, FlashOnlyProgramsThePagesAndLeavesTheEepromAlone) {
    const CliResult r = flash({"--flash-only"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    expectFlashIsSample();
    expectEepromErased();
    EXPECT_EQ(stat("eeprom_writes"), 0);
    EXPECT_EQ(stat("restarts"), 1);
}

TEST_F(DemoUpdate, RescueWithYesPowersTheUnitUpIntoItsBootloader) {
    // A unit too old for the command entry: only the rescue procedure reaches its bootloader.
    const CliResult r = flash({"--rescue", "--yes"}, "--version 0022");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(r.err,
                         "[Rescue Requires a Temorary Jumper] Switch OFF the unit & take "
                         "the cover OFF.\n\nRefer to documentation"))
        << r.err;
    EXPECT_TRUE(contains(r.err, "Press OK just before you switch the power back ON.  -> OK\n"));
    expectFlashIsSample();
    expectEepromIsSample();
}

// Every line of standard output with --progress=json, parsed.
std::vector<QJsonObject> events(const CliResult& r) {
    std::vector<QJsonObject> out;
    for (const std::string& line : r.outLines()) {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
        EXPECT_TRUE(doc.isObject()) << line;
        out.push_back(doc.object());
    }
    return out;
}

// The highest count a phase reached under `key`.
int highest(const std::vector<QJsonObject>& evs, const char* phase, const char* key) {
    int top = -1;
    for (const QJsonObject& e : evs) {
        if (e["event"] == "progress" && e["phase"] == phase) top = std::max(top, e[key].toInt(-1));
    }
    return top;
}

TEST_F(DemoUpdate, JsonProgressIsOneObjectALineEndingWithTheOutcome) {
    const CliResult r = flash({"--progress=json"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto evs = events(r);
    ASSERT_FALSE(evs.empty());
    for (const QJsonObject& e : evs) EXPECT_TRUE(e["event"].isString());
    const QJsonObject& end = evs.back();
    EXPECT_EQ(text(end["event"]), "end");
    EXPECT_EQ(text(end["outcome"]), "complete");
    EXPECT_EQ(end["exit"].toInt(-1), 0);
    EXPECT_EQ(end["retries"].toInt(-1), 0);
    EXPECT_EQ(highest(evs, "pages", "page"), 124);
    EXPECT_EQ(highest(evs, "eeprom-write", "address"), 512);
    EXPECT_EQ(highest(evs, "eeprom-verify", "address"), 512);
    int boxes = 0;
    for (const QJsonObject& e : evs) {
        if (e["event"] == "progress" && e["phase"] == "pages") {
            EXPECT_EQ(e["total"].toInt(), 124);
        }
        if (e["event"] != "box") continue;
        ++boxes;
        EXPECT_EQ(text(e["title"]), "Programming complete");
        EXPECT_EQ(text(e["message"]), "Flash and EEPROM Programming complete (0 retries).");
        EXPECT_EQ(text(e["answer"]), "ok");
    }
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(r.err, "") << "with JSON every event goes to standard output";
}

TEST_F(DemoUpdate, JsonCarriesTheStatusAndLogTextsAsTheyAre) {
    const CliResult r = flash({"--progress=json", "--flash-only"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    bool dataFromUnit = false;
    bool flashingComplete = false;
    for (const QJsonObject& e : events(r)) {
        if (e["event"] == "status" && e["level"] == "status" &&
            e["message"] == "Data from unit =  0024\r\n") {
            dataFromUnit = true;
        }
        if (e["event"] == "log" && e["text"] == "Flashing complete. Awaiting soft reboot ...") {
            flashingComplete = true;
        }
    }
    EXPECT_TRUE(dataFromUnit) << r.out;
    EXPECT_TRUE(flashingComplete) << r.out;
}

}  // namespace
}  // namespace ondo::testing
