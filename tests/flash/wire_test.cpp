// A whole update as the line carries it, and what the unit holds afterwards.

#include "flash/flash_bench.h"

namespace ondo::testing {
namespace {

class WholeUpdate : public FlashBench {};

std::string eepromCommands(const FirmwareImage& image, int size) {
    std::string wire;
    for (int a = 0; a < size; ++a) wire += "e" + hex4(a) + hex2(image.EEimage[a]) + "\r";
    for (int a = 0; a < size; ++a) wire += "a" + hex4(a) + "\r";
    return wire;
}

TEST_F(WholeUpdate, EveryByteOnTheWireInOrder) {
    unit.version = "0024";
    run();

    std::string expected = "tf\rm0\rv\rb0024\r<";
    for (int page = 0; page < 124; ++page) expected += expectedFrame(page, 64);
    expected += std::string{'\x03', '\xFF'};
    expected += "tf\rtf\rv\rm0\r" + eepromCommands(image, 512) + "m1\rt1\rv\r";
    EXPECT_EQ(firstDifference(serial.sent, expected), "");
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::Complete);
}

TEST_F(WholeUpdate, UnitEndsUpHoldingTheImage) {
    run();
    for (int a = 0; a < 124 * 64; ++a) {
        ASSERT_EQ(unit.flash[a], image.FlashImage[a]) << "flash address " << a;
    }
    for (int a = 0; a < 512; ++a) {
        ASSERT_EQ(unit.eeprom[a], image.EEimage[a]) << "EEPROM address " << a;
    }
    EXPECT_EQ(unit.eeprom[512], 0xFF);  // nothing beyond EESize is written
    EXPECT_EQ(unit.restarts, 1);
    EXPECT_EQ(unit.frameCount.size(), 124u);
    for (const auto& [page, count] : unit.frameCount) EXPECT_EQ(count, 1) << "page " << page;
}

TEST_F(WholeUpdate, StatusLineTellsEachStage) {
    unit.version = "0024";
    run();
    std::vector<std::pair<Colour, std::string>> expected{
        {Colour::Plain, "Programming 124 pages. 64 bytes/page."},
        {Colour::Status, "Flashing complete. Awaiting soft reboot ..."},
        {Colour::Status, "Data from unit =  0024\r\n"},
        {Colour::Plain, "Programming ..."},
        {Colour::Plain, "Verifying ..."},
        {Colour::Status, "Complete."},
    };
    std::vector<std::pair<Colour, std::string>> seen;
    for (const auto& s : face.statuses) seen.emplace_back(s.colour, s.text);
    EXPECT_EQ(seen, expected);
}

TEST_F(WholeUpdate, CompletionBoxReportsRetries) {
    run();
    ASSERT_EQ(face.boxes.size(), 1u);
    EXPECT_EQ(face.boxes[0].text, "Flash and EEPROM Programming complete (0 retries).");
    EXPECT_EQ(face.boxes[0].title, "Programming complete");
    EXPECT_EQ(face.boxes[0].buttons, Buttons::Ok);
    EXPECT_EQ(face.boxes[0].icon, Icon::Information);
}

TEST_F(WholeUpdate, NoCompletionBoxWithoutPrompt) {
    face.options[Option::PromptOnComplete] = false;
    run();
    EXPECT_TRUE(face.boxes.empty());
    EXPECT_EQ(face.lastStatus().text, "Complete.");
}

TEST_F(WholeUpdate, ButtonsAndFlashingThroughTheRun) {
    std::vector<std::string> seen;
    unit.pageAnswer = [&](int page, int) {
        if (page == 3) {
            seen.push_back(face.startCaption + (face.startEnabled ? " on" : " off") +
                           (face.abortEnabled ? " abort" : "") + (seq.Flashing ? " flashing" : ""));
        }
        return '!';
    };
    run();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "Wait off abort flashing");
    EXPECT_TRUE(atRest());
    EXPECT_NE(face.log.find("\r\nProgramming complete."), std::string::npos);
}

TEST_F(WholeUpdate, PageLogShowsEachAcknowledgedPage) {
    face.options[Option::FlashOnly] = true;
    run();
    std::string expected = "=";
    for (int page = 0; page < 124; ++page) expected += "!=" + std::to_string(page) + "=";
    expected += "\r\nFlashing complete. Awaiting soft reboot ...\r\n\r\nProgramming complete.";
    EXPECT_EQ(face.fullLog, expected);
}

TEST_F(WholeUpdate, EepromLogEndsALineAfterEachMultipleOfEight) {
    run();
    ASSERT_EQ(face.replacedLogs.size(), 2u);  // "=" for the pages, then the EEPROM header
    std::string expected = "Programming 512 bytes of EE Prom.\r\n";
    for (int a = 0; a < 512; ++a) expected += hex4(a) + (a % 8 == 0 ? "\r\n" : "-");
    expected += "\r\nEEPROM verifying\r\n";
    for (int a = 0; a < 512; ++a) {
        expected += hex4(image.EEimage[a]) + (a % 8 == 0 ? "\r\n" : "+");
    }
    expected += "\r\nProgramming complete.";
    EXPECT_EQ(face.fullLog, expected);
    EXPECT_EQ(face.fullLog.substr(35, 47), "0000\r\n0001-0002-0003-0004-0005-0006-0007-0008\r\n");
}

TEST_F(WholeUpdate, ProgressReportsEveryPageAndAddress) {
    run();
    std::vector<int> pages;
    int writes = 0, verifies = 0;
    Phase last = Phase::Checking;
    for (const auto& p : face.progresses) {
        EXPECT_GE(static_cast<int>(p.phase), static_cast<int>(last)) << "phases go forward";
        last = p.phase;
        if (p.phase == Phase::Pages) {
            EXPECT_EQ(p.total, 124);
            pages.push_back(p.done);
        }
        writes += p.phase == Phase::EepromWrite ? 1 : 0;
        verifies += p.phase == Phase::EepromVerify ? 1 : 0;
    }
    ASSERT_FALSE(pages.empty());
    EXPECT_EQ(pages.front(), 0);
    EXPECT_EQ(pages.back(), 124);
    EXPECT_GE(writes, 512);
    EXPECT_GE(verifies, 512);
    EXPECT_EQ(face.progresses.back().phase, Phase::Done);
}

}  // namespace
}  // namespace ondo::testing
