// The faults the simulated unit can show, met by the real engine.

#include <QTimer>
#include <cstdio>

#include "e2e/e2e_bench.h"

namespace ondo::testing {
namespace {

class Faults : public EndToEnd {};

std::string hex4(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value & 0xFFFF);
    return text;
}

bool sawStatus(const RecordingFace& face, const std::string& text) {
    return face.sawStatus(text);
}

TEST_F(Faults, GarbledAnswerToPage0IsRetried) {
    ASSERT_TRUE(startUnit({"--garble-page", "0"}));
    run();
    EXPECT_EQ(face.pageLog().substr(0, 14),
              "=???"
              "!=!=0=!=1=");
    EXPECT_EQ(seq->lastOutcome(), RunOutcome::Complete);
    EXPECT_EQ(face.boxes.back().text, "Flash and EEPROM Programming complete (1 retries).");
    expectUnitHoldsTheImage(64 * 124, 512);
}

TEST_F(Faults, RejectedPage17IsRetried) {
    ASSERT_TRUE(startUnit({"--reject-page", "17"}));
    run();
    EXPECT_TRUE(sawStatus(face, "Programming failed on page 17"));
    EXPECT_NE(face.pageLog().find("=16=!=!=17=!=18="), std::string::npos);
    EXPECT_EQ(face.pageLog().find("???"), std::string::npos);
    EXPECT_EQ(seq->lastOutcome(), RunOutcome::Complete);
    expectUnitHoldsTheImage(64 * 124, 512);
}

TEST_F(Faults, PageAlwaysRejectedGivesUpAfterThirtyAttempts) {
    ASSERT_TRUE(startUnit({"--reject-page", "5:always"}));
    run();
    EXPECT_EQ(seq->lastOutcome(), RunOutcome::PageFailed);
    EXPECT_EQ(face.lastStatus().text,
              "Programming failed on page 5 - giving up; the unit needs a Rescue re-flash");
    EXPECT_EQ(stat("pages_rejected"), 30);
    EXPECT_EQ(stat("pages_stored"), 5);
    EXPECT_EQ(stat("end_word"), -1);  // the exchange was never closed
    EXPECT_FALSE(seq->Flashing);
    EXPECT_TRUE(face.startEnabled);
}

TEST_F(Faults, WrongIdentificationThenTheRightOne) {
    ASSERT_TRUE(startUnit({"--wrong-id", "alaR"}));
    run();
    EXPECT_TRUE(sawStatus(face, "Invalid response >alaR"));
    EXPECT_EQ(seq->lastOutcome(), RunOutcome::Complete);
    EXPECT_EQ(stat("pages_stored"), 124);
}

TEST_F(Faults, LowerCaseConfirmationAndOkSkipsTheAddress) {
    ASSERT_TRUE(startUnit({"--ee-lower", "0x0A"}));
    run();
    ASSERT_GE(face.boxes.size(), 2u);
    EXPECT_EQ(face.boxes[0].text, "addr = 000A, response = 000a");
    EXPECT_EQ(face.boxes[0].title, "EEPROM Program Error");
    EXPECT_EQ(face.lastStatus().text, "EEPROM update incomplete.");
    EXPECT_EQ(seq->lastOutcome(), RunOutcome::EepromIncomplete);
    EXPECT_EQ(seq->ProgRetries, 5);
    EXPECT_EQ(face.boxes.back().text,
              "Flash programmed, but the EEPROM update is incomplete (5 retries).");
}

TEST_F(Faults, WrongReadBackShowsTheVerifyBox) {
    ASSERT_TRUE(startUnit({"--ee-wrong-read", "0x12:always"}));
    face.answers.push_back(Answer::Cancel);
    run();
    ASSERT_GE(face.boxes.size(), 1u);
    const int wrote = static_cast<std::uint8_t>(0x12 * 13 + 5);
    EXPECT_EQ(face.boxes[0].text,
              "addr = 0012, wrote = " + hex4(wrote) + ", read = " + hex4(wrote ^ 1));
    EXPECT_EQ(face.boxes[0].title, "EEPROM Verify Error");
    EXPECT_EQ(seq->lastOutcome(), RunOutcome::EepromIncomplete);
}

TEST_F(Faults, UnitVanishingMidPageEndsTheRun) {
    ASSERT_TRUE(startUnit({"--vanish-at", "page:10"}));
    run();
    EXPECT_EQ(seq->lastOutcome(), RunOutcome::LineLost);
    EXPECT_EQ(face.lastStatus().text, "Lost contact with the unit on COM1");
    EXPECT_FALSE(seq->Flashing);
    EXPECT_TRUE(face.startEnabled);
    EXPECT_FALSE(face.abortEnabled);
}

TEST_F(Faults, UnitVanishingDuringTheEepromUpdateEndsTheRun) {
    ASSERT_TRUE(startUnit({"--vanish-at", "ee:0x40"}));
    run();
    EXPECT_EQ(seq->lastOutcome(), RunOutcome::LineLost);
    EXPECT_EQ(face.lastStatus().text, "Lost contact with the unit on COM1");
}

TEST_F(Faults, AbortDuringThePagesStopsBeforeTheNextFrame) {
    ASSERT_TRUE(startUnit({}));
    bool pressed = false;
    face.onProgress = [&](const Progress& p) {
        if (p.phase == Phase::Pages && p.done == 20 && !pressed) {
            pressed = true;
            QTimer::singleShot(0, [this] { seq->btnAbort_Click(); });  // at the next wait
        }
    };
    run();
    EXPECT_EQ(seq->lastOutcome(), RunOutcome::Aborted);
    EXPECT_EQ(face.lastStatus().text, "Flashing aborted - the unit needs a Rescue re-flash");
    EXPECT_GE(stat("pages_stored"), 20);
    EXPECT_LT(stat("pages_stored"), 124);  // how many more went out depends on the machine's load
    EXPECT_EQ(stat("end_word"), -1);
    EXPECT_EQ(closesRefused + closesGranted, 0);
    EXPECT_FALSE(seq->Flashing);
}

TEST_F(Faults, CloseRequestWhileWaitingForTheBootloaderIsRefused) {
    ASSERT_TRUE(startUnit({"--no-id"}));
    bool asked = false;
    face.onProgress = [&](const Progress& p) {
        if (p.phase == Phase::Bootloader && p.done == 10 && !asked) {
            asked = true;
            QTimer::singleShot(0, [this] { face.requestClose(); });
        }
    };
    run();
    EXPECT_EQ(seq->lastOutcome(), RunOutcome::Aborted);
    EXPECT_EQ(closesGranted, 0);
    EXPECT_EQ(closesRefused, 2);  // the user's, and the one the run makes as it ends
    EXPECT_FALSE(seq->Flashing);
    EXPECT_TRUE(face.startEnabled);
}

}  // namespace
}  // namespace ondo::testing
