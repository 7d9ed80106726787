// Runs that end early: no bootloader, Abort and close requests, a unit that vanishes, a page
// that keeps failing; and a second Start in the middle of a run.

#include "flash/flash_bench.h"

namespace ondo::testing {
namespace {

class Stopping : public FlashBench {
  protected:
    const std::string entry = "tf\rm0\rv\rb0023\r";
};

TEST_F(Stopping, NoIdentificationStopsWithARedMessage) {
    unit.bootloaderSilent = true;
    run();
    EXPECT_EQ(face.lastStatus().text, "No answer from the bootloader");
    EXPECT_EQ(face.lastStatus().colour, Colour::Error);
    EXPECT_EQ(serial.sent, entry);  // nothing after the bootloader command
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::NoBootloader);
    EXPECT_TRUE(atRest());
    EXPECT_EQ(face.closeRequests, 0);
}

// After "b0023" CR the unit echoes 17 bytes ("b0023" CR LF, "OK b0023" CR LF); every byte read
// counts towards the 100, so a ">" read as the 100th byte is the last one taken.
TEST_F(Stopping, PromptAsTheHundredthReadIsTaken) {
    unit.beforePrompt = std::string(82, 'x');
    face.options[Option::FlashOnly] = true;
    run();
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::Complete);
}

TEST_F(Stopping, PromptAfterAHundredReadsIsTooLate) {
    unit.beforePrompt = std::string(83, 'x');
    run();
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::NoBootloader);
    EXPECT_EQ(serial.sent, entry);
}

TEST_F(Stopping, AbortWhileWaitingForTheBootloaderOnTheCommandEntry) {
    unit.bootloaderSilent = true;
    atTick = [&](int) {
        if (face.abortEnabled) seq.btnAbort_Click();
    };
    run();
    EXPECT_EQ(face.closeRequests, 1);
    EXPECT_EQ(closesRefused, 1);  // Flashing was still set: the window stays open
    EXPECT_EQ(serial.sent, entry);
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::Aborted);
    EXPECT_TRUE(atRest());  // and usable again
}

TEST_F(Stopping, CloseWhileWaitingForTheBootloaderOnTheRescueEntryCloses) {
    face.options[Option::Rescue] = true;  // the unit is never powered up
    bool asked = false;
    atTick = [&](int) {
        if (face.abortEnabled && !asked) {
            asked = true;
            face.requestClose();
        }
    };
    run();
    EXPECT_GE(closesGranted, 1);
    EXPECT_EQ(closesRefused, 0);
    EXPECT_EQ(serial.sent, "");
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::Aborted);
}

TEST_F(Stopping, CloseWhileWaitingOnTheCommandEntryIsRefused) {
    unit.bootloaderSilent = true;
    bool asked = false;
    atTick = [&](int) {
        if (face.abortEnabled && !asked) {
            asked = true;
            face.requestClose();
        }
    };
    run();
    EXPECT_EQ(closesGranted, 0);
    EXPECT_EQ(closesRefused, 2);  // the user's and the sequence's own
    EXPECT_TRUE(atRest());
}

// Presses Abort (or asks to close) once four frames are out; the fourth answer comes late.
class StopDuringPages : public Stopping {
  protected:
    void stopAfterFourFrames(std::function<void()> stop) {
        unit.answerDelay = 1;
        atTick = [this, stop](int) {
            if (unit.frames.size() == 4 && !stopped_) {
                stopped_ = true;
                stop();
            }
        };
    }
    void expectAbortedBeforeTheNextFrame() {
        EXPECT_EQ(unit.frames.size(), 4u);
        EXPECT_EQ(unit.restarts, 0);  // no end word
        std::string expected = entry + "<";
        for (int page = 0; page < 4; ++page) expected += expectedFrame(page, 64);
        EXPECT_EQ(firstDifference(serial.sent, expected), "");
        EXPECT_EQ(face.lastStatus().text, "Flashing aborted - the unit needs a Rescue re-flash");
        EXPECT_EQ(face.lastStatus().colour, Colour::Error);
        EXPECT_EQ(statusCount("Flashing complete. Awaiting soft reboot ..."), 0);
        EXPECT_EQ(face.fullLog.find("complete"), std::string::npos);
        EXPECT_TRUE(face.boxes.empty());
        EXPECT_EQ(seq.lastOutcome(), RunOutcome::Aborted);
        EXPECT_TRUE(atRest());
    }
    bool stopped_ = false;
};

TEST_F(StopDuringPages, AbortEndsTheLoopBeforeTheNextFrame) {
    stopAfterFourFrames([this] { seq.btnAbort_Click(); });
    run();
    expectAbortedBeforeTheNextFrame();
    EXPECT_EQ(face.closeRequests, 0);  // an Abort alone leaves the window open
}

TEST_F(StopDuringPages, CloseRequestIsRefusedAndEndsTheRun) {
    stopAfterFourFrames([this] { face.requestClose(); });
    run();
    expectAbortedBeforeTheNextFrame();
    EXPECT_EQ(closesRefused, 1);
    EXPECT_EQ(closesGranted, 0);
}

TEST_F(StopDuringPages, CloseRequestOnTheRescueEntryIsRefusedToo) {
    face.options[Option::Rescue] = true;
    face.onAsk = [&](const MessageBox& box) {
        if (box.buttons == Buttons::OkCancel) unit.powerUpInBootloader();
    };
    unit.answerDelay = 1;
    atTick = [&](int) {
        if (unit.frames.size() == 2 && closesRefused + closesGranted == 0) face.requestClose();
    };
    run();
    EXPECT_EQ(closesRefused, 1);
    EXPECT_EQ(closesGranted, 0);
    EXPECT_EQ(unit.frames.size(), 2u);
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::Aborted);
}

TEST_F(Stopping, CloseRequestDuringTheEepromUpdateIsRefusedAndTheUpdateGoesOn) {
    unit.onCommand = [&](const std::string& command) {
        if (command.rfind("e0010", 0) == 0) face.requestClose();
    };
    run();
    EXPECT_EQ(closesRefused, 1);
    EXPECT_EQ(closesGranted, 0);
    EXPECT_EQ(unit.commandCount("a01FF"), 1);
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::Complete);
}

// Past the pages an Abort no longer stops anything; the window is not closed behind the user's
// back either, so the outcome stays to be read.
TEST_F(Stopping, AbortDuringTheRestartWaitLetsTheRunFinishAndClosesNothing) {
    bool pressed = false;
    atTick = [&](int) {
        if (unit.restarts == 1 && !pressed) {
            pressed = true;
            seq.btnAbort_Click();
        }
    };
    run();
    EXPECT_EQ(face.closeRequests, 0);
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::Complete);
}

// An abort left from an earlier run is cleared when a run starts.
TEST_F(Stopping, EEOnlyRunAfterAnAbortedRunRunsWhole) {
    link.AbortRequested = true;
    face.options[Option::EEOnly] = true;
    run();
    EXPECT_EQ(face.closeRequests, 0);
    EXPECT_EQ(unit.commandCount("a01FF"), 1);
}

TEST_F(Stopping, UnitVanishingMidPageEndsTheRun) {
    unit.vanishAfterPage = 10;
    run();
    EXPECT_EQ(face.lastStatus().text, "Lost contact with the unit on COM1");
    EXPECT_EQ(face.lastStatus().colour, Colour::Error);
    EXPECT_EQ(unit.frames.size(), 11u);
    EXPECT_EQ(unit.restarts, 0);
    EXPECT_TRUE(face.boxes.empty());
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::LineLost);
    EXPECT_TRUE(atRest());
}

TEST_F(Stopping, UnitVanishingDuringTheEepromUpdateEndsTheRun) {
    unit.vanishAfterWrite = 0x20;
    run();
    EXPECT_EQ(face.lastStatus().text, "Lost contact with the unit on COM1");
    EXPECT_EQ(statusCount("re-programmed address 0021."), 0);
    EXPECT_TRUE(face.boxes.empty());
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::LineLost);
    EXPECT_TRUE(atRest());
}

TEST_F(Stopping, PageThatKeepsFailingEndsAfterThirtyAttempts) {
    unit.pageAnswer = [](int page, int) { return page == 7 ? '#' : '!'; };
    run();
    EXPECT_EQ(unit.frameCount[7], 30);
    EXPECT_EQ(unit.frameCount.count(8), 0u);
    EXPECT_EQ(face.lastStatus().text,
              "Programming failed on page 7 - giving up; the unit needs a Rescue re-flash");
    EXPECT_EQ(face.lastStatus().colour, Colour::Error);
    EXPECT_EQ(unit.restarts, 0);
    EXPECT_EQ(seq.ProgRetries, 30);
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::PageFailed);
    EXPECT_TRUE(atRest());
}

TEST_F(Stopping, PageThatIsAlwaysRejectedEndsToo) {
    unit.pageAnswer = [](int page, int) { return page == 3 ? '@' : '!'; };
    run();
    EXPECT_EQ(unit.frameCount[3], 30);
    EXPECT_EQ(statusCount("Programming failed on page 3"), 30);
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::PageFailed);
}

TEST_F(Stopping, PageThatFailsEveryOtherTimeCannotLoopForever) {
    unit.pageAnswer = [](int page, int attempt) {
        return page == 2 && attempt % 2 == 0 ? '#' : '!';
    };
    run();
    // Three series that each end in a successful retry, then a fourth failed first attempt.
    EXPECT_EQ(unit.frameCount[2], 7);
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::PageFailed);
}

TEST_F(Stopping, SecondStartDuringARunDoesNothing) {
    int presses = 0;
    atTick = [&](int) {
        if (presses < 3) {
            ++presses;
            seq.btnFlashStart_Click();
        }
    };
    unit.onCommand = [&](const std::string& command) {
        if (command == "a0005") seq.btnFlashStart_Click();  // during the EEPROM update too
    };
    run();
    EXPECT_EQ(presses, 3);
    EXPECT_EQ(unit.commandCount("m0"), 2);  // the version check and the EEPROM update
    EXPECT_EQ(unit.commandCount("b0023"), 1);
    EXPECT_EQ(unit.commandCount("a0005"), 1);
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::Complete);
}

}  // namespace
}  // namespace ondo::testing
