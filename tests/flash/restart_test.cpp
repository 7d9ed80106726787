// The talk with the restarted firmware: a reading still on the line when the first "tf" goes
// out, and a unit that never comes back after its restart.

#include "flash/flash_bench.h"

namespace ondo::testing {
namespace {

using AfterRestart = FlashBench;

TEST_F(AfterRestart, StrayReadingBeforeTheFirstReplyPutsNoReplyOutOfStep) {
    bool stray = false;
    unit.onCommand = [&](const std::string& command) {
        if (command == "tf" && unit.restarts == 1 && !stray) {
            stray = true;
            serial.deliver("\nD 14.70 0.998 0812\r\n");  // still streaming when "tf" arrived
        }
    };
    run();
    ASSERT_TRUE(stray);
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::Complete);
    EXPECT_EQ(seq.ProgRetries, 0) << "every EEPROM confirmation matched its own command";
    EXPECT_TRUE(face.sawStatus("Data from unit =  0023\r\n"));
}

TEST_F(AfterRestart, SilentUnitAfterTheRestartIsNotReportedUpdated) {
    atTick = [&](int) {
        if (unit.restarts == 1) unit.silent = true;
    };
    run();
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::NoRestart);
    EXPECT_EQ(face.lastStatus().text, "No answer from the unit after the restart");
    EXPECT_EQ(face.lastStatus().colour, Colour::Error);
    EXPECT_EQ(unit.commandCount("m0"), 1) << "only the version check's; no EEPROM update";
    EXPECT_TRUE(face.boxes.empty());
    EXPECT_TRUE(atRest());
}

TEST_F(AfterRestart, EEOnlyRunWithAUnitGoneQuietSendsNoEepromCommand) {
    face.options[Option::EEOnly] = true;
    bool versionRead = false;  // the firmware answers the version check, then goes quiet
    unit.onCommand = [&](const std::string& command) {
        if (versionRead) unit.silent = true;
        versionRead = versionRead || command == "v";
    };
    run();
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::NoRestart);
    EXPECT_EQ(face.lastStatus().text, "No answer from the unit");
    EXPECT_EQ(unit.commandCount("m0"), 1);
}

TEST_F(AfterRestart, FlashOnlyRunWithASilentUnitIsNotComplete) {
    face.options[Option::FlashOnly] = true;
    atTick = [&](int) {
        if (unit.restarts == 1) unit.silent = true;
    };
    run();
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::NoRestart);
    EXPECT_FALSE(face.sawStatus("Complete."));
}

}  // namespace
}  // namespace ondo::testing
