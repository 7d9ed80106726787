// What Start checks before it touches the bootloader, and how each refusal looks.

#include "flash/flash_bench.h"

namespace ondo::testing {
namespace {

class PreChecks : public FlashBench {
  protected:
    // Buttons and flags exactly as a run that never began leaves them.
    void expectUntouched() {
        EXPECT_EQ(face.startCaption, "Start");
        EXPECT_TRUE(face.startEnabled);
        EXPECT_FALSE(face.abortEnabled);
        EXPECT_FALSE(seq.Flashing);
        EXPECT_FALSE(seq.running());
    }
};

TEST_F(PreChecks, NoImageSendsNothing) {
    image.FlashFileValid = false;
    run();
    ASSERT_EQ(face.statuses.size(), 1u);
    EXPECT_EQ(face.statuses[0].text, "Must read a valid flash file first");
    EXPECT_EQ(face.statuses[0].colour, Colour::Error);
    EXPECT_EQ(serial.sent, "");
    EXPECT_TRUE(face.boxes.empty());
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::NoImage);
    expectUntouched();
}

TEST_F(PreChecks, ClosedPortSaysSoAndSendsNothing) {
    link.PortOpen = false;
    run();
    ASSERT_EQ(face.statuses.size(), 1u);
    EXPECT_EQ(face.statuses[0].colour, Colour::Error);
    EXPECT_EQ(face.statuses[0].text, "COM port must be opened first");
    EXPECT_EQ(serial.sent, "");
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::PortClosed);
    expectUntouched();
}

TEST_F(PreChecks, SilentUnitGetsTheNoCommsBox) {
    unit.silent = true;
    run();
    EXPECT_EQ(serial.sent, "tf\rm0\rv\r");
    ASSERT_EQ(face.boxes.size(), 1u);
    EXPECT_EQ(face.boxes[0].text, "No Comms? Check for correct COM Port and wiring, etc.");
    EXPECT_EQ(face.boxes[0].title, "Upgrade Requires Intervention");
    EXPECT_EQ(face.boxes[0].buttons, Buttons::Ok);
    EXPECT_EQ(face.boxes[0].icon, Icon::Exclamation);
    EXPECT_EQ(face.versionLabel, "ROM ----");
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::NoComms);
    expectUntouched();
}

void expectRescueAdvice(const RecordingFace& face) {
    ASSERT_EQ(face.boxes.size(), 1u);
    EXPECT_EQ(face.boxes[0].text,
              "You must select the Rescue option\rfor Rev 0022 or lower firmware.");
    EXPECT_EQ(face.boxes[0].title, "Upgrade Requires Intervention");
    EXPECT_EQ(face.boxes[0].buttons, Buttons::Ok);
    EXPECT_EQ(face.boxes[0].icon, Icon::Information);
}

TEST_F(PreChecks, Version0022NeedsTheRescue) {
    unit.version = "0022";
    run();
    expectRescueAdvice(face);
    EXPECT_EQ(serial.sent, "tf\rm0\rv\r");
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::NeedsRescue);
    expectUntouched();
}

TEST_F(PreChecks, LowerCaseVersionNeedsTheRescue) {
    unit.version = "002a";  // above 0022 in value, but not a version text the unit can enter by
    run();
    expectRescueAdvice(face);
    EXPECT_EQ(face.versionLabel, "ROM 002a");
    EXPECT_EQ(serial.sent, "tf\rm0\rv\r");
}

TEST_F(PreChecks, Version0023EntersTheBootloaderByCommand) {
    unit.version = "0023";
    run();
    EXPECT_TRUE(face.boxes.size() == 1 && face.boxes[0].title == "Programming complete");
    EXPECT_EQ(serial.sent.substr(0, 15), "tf\rm0\rv\rb0023\r<");
    EXPECT_EQ(serial.calls, std::vector<std::string>{"SioRxClear(0)"});  // just before "b"
}

TEST_F(PreChecks, FileRemovedAfterReadingIsRefused) {
    std::filesystem::remove(file);
    run();
    EXPECT_EQ(face.lastStatus().text, "No File " + file.string());
    EXPECT_EQ(face.lastStatus().colour, Colour::Error);
    EXPECT_EQ(serial.sent, "tf\rm0\rv\r");  // the version check comes first
    EXPECT_TRUE(face.boxes.empty());
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::NoFile);
    expectUntouched();
}

TEST_F(PreChecks, EmptyFileNameOrFolderIsRefused) {
    face.file = "";
    run();
    EXPECT_EQ(face.lastStatus().text, "No File ");
    face.file = file.parent_path().string();  // a folder is not an ordinary file
    run();
    EXPECT_EQ(face.lastStatus().text, "No File " + face.file);
    EXPECT_EQ(unit.commandCount("b0023"), 0);
}

TEST_F(PreChecks, RescueSkipsTheVersionCheckButNotTheFileCheck) {
    face.options[Option::Rescue] = true;
    std::filesystem::remove(file);
    run();
    EXPECT_EQ(serial.sent, "");
    EXPECT_TRUE(face.boxes.empty());
    EXPECT_EQ(face.lastStatus().text, "No File " + file.string());
}

TEST_F(PreChecks, RetryCountStartsFromZero) {
    seq.ProgRetries = 7;
    seq.EESizeKnown = true;
    face.options[Option::EEOnly] = true;
    run();
    EXPECT_EQ(seq.ProgRetries, 0);
    EXPECT_EQ(face.boxes.back().text, "Flash and EEPROM Programming complete (0 retries).");
}

}  // namespace
}  // namespace ondo::testing
