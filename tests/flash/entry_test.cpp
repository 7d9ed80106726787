// How a run reaches the bootloader (command, rescue) or skips it (EE only), how it identifies
// the unit type, and the Flash only run.

#include "flash/flash_bench.h"

namespace ondo::testing {
namespace {

class Entry : public FlashBench {};

bool anyCommandStartingWith(const std::vector<std::string>& events, char first) {
    for (const auto& e : events) {
        if (!e.empty() && e[0] == first && e.size() > 1 && e.find(' ') == std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST_F(Entry, EEOnlyNeverTouchesTheBootloader) {
    face.options[Option::EEOnly] = true;
    run();
    EXPECT_EQ(serial.sent.find('<'), std::string::npos);
    EXPECT_EQ(unit.commandCount("b0023"), 0);
    EXPECT_TRUE(unit.frames.empty());
    const std::vector<std::string> head(unit.events.begin(), unit.events.begin() + 7);
    EXPECT_EQ(head, (std::vector<std::string>{"tf", "m0", "v", "tf", "tf", "v", "m0"}));
    EXPECT_EQ(unit.commandCount("e01FF" + hex2(image.EEimage[0x1FF])), 1);
    EXPECT_EQ(unit.commandCount("e0200" + hex2(image.EEimage[0x200])), 0);  // 512 at start-up
    // No identification since start-up: the 512 bytes are told as such, not as the whole EEPROM.
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::EepromSizeAssumed);
    EXPECT_EQ(face.lastStatus().text,
              "EEPROM size not known: 512 bytes updated; a larger EEPROM was updated only in part.");
    ASSERT_FALSE(face.boxes.empty());
    EXPECT_EQ(face.boxes.back().title, "EEPROM size not known");
    EXPECT_TRUE(atRest());
}

TEST_F(Entry, EEOnlyUsesTheSizeOfTheLastIdentification) {
    unit.identification = "EnbS";
    face.options[Option::FlashOnly] = true;
    run();
    ASSERT_EQ(seq.EESize, 1024);
    face.options[Option::FlashOnly] = false;
    face.options[Option::EEOnly] = true;
    unit.events.clear();
    run();
    EXPECT_EQ(unit.commandCount("e03FF" + hex2(image.EEimage[0x3FF])), 1);
    EXPECT_EQ(unit.commandCount("a03FF"), 1);
    EXPECT_EQ(unit.commandCount("a0400"), 0);
    EXPECT_EQ(face.replacedLogs.back(), "Programming 1024 bytes of EE Prom.\r\n");
}

TEST_F(Entry, EEOnlyKeepsTheStartButtonAndLeavesAbortOff) {
    face.options[Option::EEOnly] = true;
    std::vector<std::string> seen;
    unit.onCommand = [&](const std::string& command) {
        if (command == "e0100" + hex2(image.EEimage[0x100])) {
            seen.push_back(face.startCaption + (face.startEnabled ? " on" : " off") +
                           (face.abortEnabled ? " abort" : "") + (seq.Flashing ? " flashing" : ""));
        }
    };
    run();
    EXPECT_EQ(seen, std::vector<std::string>{"Start on flashing"});
}

TEST_F(Entry, FlashOnlySkipsTheEepromAndSaysComplete) {
    face.options[Option::FlashOnly] = true;
    run();
    EXPECT_EQ(eventsFrom("end 03FF"),
              (std::vector<std::string>{"end 03FF", "tf", "tf", "v", "m1", "t1", "v"}));
    EXPECT_FALSE(anyCommandStartingWith(unit.events, 'e'));
    EXPECT_FALSE(anyCommandStartingWith(unit.events, 'a'));
    ASSERT_EQ(face.boxes.size(), 1u);
    EXPECT_EQ(face.boxes[0].text, "Flash and EEPROM Programming complete (0 retries).");
    for (const auto& s : face.statuses) EXPECT_EQ(s.text.find("EEPROM"), std::string::npos);
    EXPECT_EQ(face.lastStatus().text, "Complete.");
}

TEST_F(Entry, RescueOkWaitsForThePowerUpWithoutCommands) {
    face.options[Option::Rescue] = true;
    face.onAsk = [&](const MessageBox& box) {
        if (box.title != "Rescue Requires a Temorary Jumper") return;
        EXPECT_EQ(serial.sent, "") << "nothing goes out before the rescue box";
        unit.powerUpInBootloader();
    };
    run();
    ASSERT_GE(face.boxes.size(), 1u);
    const MessageBox& box = face.boxes[0];
    EXPECT_EQ(box.text,
              "Switch OFF the unit & take the cover OFF.\r\r"
              "Refer to documentation for the Rescue Re-flash Jumper's location.\r"
              "Place a temporary link across that jumper.\r"
              "Press OK just before you switch the power back ON.");
    EXPECT_EQ(box.buttons, Buttons::OkCancel);
    EXPECT_EQ(box.icon, Icon::Exclamation);
    EXPECT_EQ(serial.sent[0], '<');
    EXPECT_EQ(unit.events.front(), "<");
    EXPECT_EQ(unit.frameCount.size(), 124u);
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::Complete);
}

TEST_F(Entry, RescueCancelEndsEverything) {
    face.options[Option::Rescue] = true;
    face.answers.push_back(Answer::Cancel);
    run();
    EXPECT_EQ(serial.sent, "");
    EXPECT_EQ(face.boxes.size(), 1u);
    EXPECT_TRUE(face.statuses.empty());
    EXPECT_FALSE(face.abortEnabled);
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::Cancelled);
}

TEST_F(Entry, BytesBeforeThePromptAreSkipped) {
    unit.beforePrompt = "xyz\x3C\r\n";
    run();
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::Complete);
    EXPECT_EQ(unit.frameCount.size(), 124u);
}

TEST_F(Entry, WrongIdentificationIsReportedAndTheWaitGoesOn) {
    unit.wrongIds = {"alaR", "XobZ"};
    run();
    EXPECT_EQ(statusCount("Invalid response >alaR"), 1);
    EXPECT_EQ(statusCount("Invalid response >XobZ"), 1);
    for (const auto& s : face.statuses) {
        if (s.text.rfind("Invalid", 0) == 0) {
            EXPECT_EQ(s.colour, Colour::Error);
        }
    }
    EXPECT_EQ(seq.PageSize, 64);
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::Complete);
}

struct TypeRow {
    const char* id;
    int pageSize, pageCount, eeSize;
    const char* endEvent;
};

TEST_F(Entry, EveryUnitTypeSetsItsGeometryFromItsIdentification) {
    const TypeRow rows[] = {
        {"AlaR", 64, 124, 512, "end 03FF"},   {"NmaS", 128, 126, 512, "end FFFF"},
        {"BmaS", 128, 126, 512, "end 03FE"},  {"EnbS", 128, 252, 1024, "end 03FE"},
        {"XobS", 256, 252, 2048, "end FFFF"},
    };
    face.options[Option::FlashOnly] = true;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        unit.identification = row.id;
        unit.events.clear();
        unit.frameCount.clear();
        face.statuses.clear();
        run();
        EXPECT_EQ(seq.PageSize, row.pageSize);
        EXPECT_EQ(seq.PageCount, row.pageCount);
        EXPECT_EQ(seq.EESize, row.eeSize);
        EXPECT_EQ(unit.frameCount.size(), static_cast<std::size_t>(row.pageCount));
        EXPECT_EQ(unit.commandCount(row.endEvent), 1);
        EXPECT_EQ(face.statuses.front().text, "Programming " + std::to_string(row.pageCount) +
                                                  " pages. " + std::to_string(row.pageSize) +
                                                  " bytes/page.");
    }
    EXPECT_EQ(findUnitType("alaR"), nullptr);
    EXPECT_EQ(findUnitType("AlaR "), nullptr);
}

TEST_F(Entry, XobsPagesBeyondTheImageAreErased) {
    unit.identification = "XobS";
    face.options[Option::FlashOnly] = true;
    run();
    ASSERT_EQ(unit.frames.size(), 252u);
    const auto& page200 = unit.frames[200];
    ASSERT_EQ(page200.size(), 259u);
    EXPECT_EQ(page200[1], 200);
    for (int i = 2; i < 258; ++i) ASSERT_EQ(page200[i], 0xFF) << "offset " << i;
    EXPECT_EQ(page200[258], 0x00);
    // Page 128 starts with the image's last byte, address 32768, and is erased after it.
    const auto& page128 = unit.frames[128];
    EXPECT_EQ(page128[2], image.FlashImage[32768]);
    EXPECT_EQ(page128[3], 0xFF);
    for (int a = 0; a < 32769; ++a) ASSERT_EQ(unit.flash[a], image.FlashImage[a]) << a;
}

}  // namespace
}  // namespace ondo::testing
