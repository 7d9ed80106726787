// The EEPROM update: the write and read commands, the confirmations, the five attempts per
// address, the two error boxes and what a skipped or stopped update reports.

#include "flash/flash_bench.h"

namespace ondo::testing {
namespace {

class Eeprom : public FlashBench {
  protected:
    Eeprom() {
        face.options[Option::EEOnly] = true;
        seq.EESizeKnown = true;  // as after an identification or a size given by the user
    }

    std::vector<std::string> commandsFor(const std::string& address) const {
        std::vector<std::string> out;
        for (const auto& e : unit.events) {
            if (e.size() >= 5 && (e[0] == 'e' || e[0] == 'a') && e.substr(1, 4) == address) {
                out.push_back(e);
            }
        }
        return out;
    }
    static bool hasLetter(const std::string& hex) {
        return hex.find_first_of("ABCDEF") != std::string::npos;
    }
};

TEST_F(Eeprom, WriteAndReadCommandsForOneAddress) {
    image.EEimage[0x12] = 0x05;
    image.EEimage[0x1FF] = 0xA0;
    run();
    EXPECT_EQ(commandsFor("0012"), (std::vector<std::string>{"e001205", "a0012"}));
    EXPECT_EQ(commandsFor("01FF"), (std::vector<std::string>{"e01FFA0", "a01FF"}));
    EXPECT_EQ(unit.eeprom[0x12], 0x05);
    EXPECT_EQ(unit.eeprom[0x1FF], 0xA0);
    EXPECT_TRUE(face.boxes.size() == 1 && face.boxes[0].title == "Programming complete");
}

TEST_F(Eeprom, Size512MeansAThousandAndTwentyFourCommands) {
    run();
    int writes = 0, reads = 0;
    for (const auto& e : unit.events) {
        writes += e.size() == 7 && e[0] == 'e';
        reads += e.size() == 5 && e[0] == 'a';
    }
    EXPECT_EQ(writes, 512);
    EXPECT_EQ(reads, 512);
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::Complete);
}

TEST_F(Eeprom, EachCommandIsShownBeforeItGoesOut) {
    image.EEimage[0x12] = 0x05;
    std::string labelAtSend;
    unit.onCommand = [&](const std::string& c) {
        if (c == "e001205" || c == "a0012") labelAtSend += face.dataLabel + ";";
    };
    run();
    EXPECT_EQ(labelAtSend, "e001205;a0012;");
}

TEST_F(Eeprom, LowerCaseConfirmationFailsAddress000AAndCancelStops) {
    unit.lowerCaseConfirm = true;
    face.answers.push_back(Answer::Cancel);
    face.options[Option::EEOnly] = false;  // a full run, for the completion texts
    run();
    for (int a = 0; a < 10; ++a) EXPECT_EQ(commandsFor(hex4(a)).size(), 1u) << a;
    EXPECT_EQ(commandsFor("000A").size(), 5u);
    EXPECT_TRUE(commandsFor("000B").empty());
    EXPECT_EQ(statusCount("re-programmed address 000A."), 5);
    EXPECT_EQ(seq.ProgRetries, 5);
    ASSERT_EQ(face.boxes.size(), 2u);
    EXPECT_EQ(face.boxes[0].text, "addr = 000A, response = 000a");
    EXPECT_EQ(face.boxes[0].title, "EEPROM Program Error");
    EXPECT_EQ(face.boxes[0].buttons, Buttons::OkCancel);
    EXPECT_EQ(face.boxes[0].icon, Icon::Critical);
    EXPECT_EQ(face.fullLog.find("EEPROM verifying"), std::string::npos);
    EXPECT_EQ(face.fullLog.find("Programming complete."), std::string::npos);
    EXPECT_NE(face.fullLog.find("EEPROM update incomplete."), std::string::npos);
    EXPECT_EQ(face.lastStatus().text, "EEPROM update incomplete.");
    EXPECT_EQ(face.lastStatus().colour, Colour::Error);
    EXPECT_EQ(face.boxes[1].text,
              "Flash programmed, but the EEPROM update is incomplete (5 retries).");
    EXPECT_EQ(face.boxes[1].icon, Icon::Exclamation);
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::EepromIncomplete);
    EXPECT_EQ(eventsFrom("m1"), (std::vector<std::string>{"m1", "t1", "v"}));
    EXPECT_TRUE(atRest());
}

TEST_F(Eeprom, OkSkipsTheFailedAddressAndTheUpdateGoesOn) {
    unit.lowerCaseConfirm = true;  // every address with a letter in its text fails
    run();
    int failing = 0;
    for (int a = 0; a < 512; ++a) {
        const std::string address = hex4(a);
        const std::size_t writes = commandsFor(address).size() - 1;  // and one read
        ASSERT_EQ(writes, hasLetter(address) ? 5u : 1u) << address;
        failing += hasLetter(address);
    }
    EXPECT_EQ(boxesTitled("EEPROM Program Error").size(), static_cast<std::size_t>(failing));
    EXPECT_TRUE(boxesTitled("EEPROM Verify Error").empty());  // the unit did store every byte
    EXPECT_EQ(seq.ProgRetries, 5 * failing);
    EXPECT_EQ(face.boxes.back().text,
              "The EEPROM update is incomplete (" + std::to_string(5 * failing) + " retries).");
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::EepromIncomplete);
}

TEST_F(Eeprom, WrongReadBackIsReadAgainNotWrittenAgain) {
    image.EEimage[0x12] = 0x05;
    unit.readOverride[0x12] = 0x07;
    run();
    EXPECT_EQ(commandsFor("0012"),
              (std::vector<std::string>{"e001205", "a0012", "a0012", "a0012", "a0012", "a0012"}));
    EXPECT_EQ(statusCount("re-verified address 0012."), 5);
    const auto boxes = boxesTitled("EEPROM Verify Error");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "addr = 0012, wrote = 0005, read = 0007");
    EXPECT_EQ(boxes[0].buttons, Buttons::OkCancel);
    EXPECT_EQ(boxes[0].icon, Icon::Exclamation);
    EXPECT_EQ(commandsFor("0013").size(), 2u);  // OK: on with the next address
    EXPECT_EQ(face.lastStatus().text, "EEPROM update incomplete.");
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::EepromIncomplete);
}

TEST_F(Eeprom, CancelInTheVerifyBoxStopsAtOnce) {
    unit.readOverride[0x12] = 0x100;
    face.answers.push_back(Answer::Cancel);
    run();
    EXPECT_EQ(boxesTitled("EEPROM Verify Error")[0].text,
              "addr = 0012, wrote = " + hex4(image.EEimage[0x12]) + ", read = 0100");
    EXPECT_TRUE(commandsFor("0013").size() == 1);  // written, never read
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::EepromIncomplete);
    EXPECT_EQ(eventsFrom("m1"), (std::vector<std::string>{"m1", "t1", "v"}));
}

TEST_F(Eeprom, IncompleteWithoutPromptShowsOnlyTheStatus) {
    unit.readOverride[0x30] = 0x200;
    face.options[Option::PromptOnComplete] = false;
    run();
    EXPECT_EQ(face.boxes.size(), 1u);  // the verify error box alone
    EXPECT_EQ(face.lastStatus().text, "EEPROM update incomplete.");
}

TEST_F(Eeprom, SilentFirmwareFailsEveryAddress) {
    unit.onCommand = [&](const std::string& command) {  // quiet from the first write on
        if (command[0] == 'e') unit.silent = true;
    };
    face.answers.assign(3, Answer::Ok);
    face.answers.push_back(Answer::Cancel);
    run();
    EXPECT_EQ(face.boxes.size(), 4u + 1u);
    EXPECT_EQ(face.boxes[0].text, "addr = 0000, response = ");
    EXPECT_EQ(seq.ProgRetries, 20);
    EXPECT_EQ(face.boxes.back().text, "The EEPROM update is incomplete (20 retries).");
}

}  // namespace
}  // namespace ondo::testing
