// Whole updates of the simulated unit through the real engine and serial library, and what the
// unit holds afterwards; the options and the rescue entry.

#include <cstdio>
#include <ostream>

#include "e2e/e2e_bench.h"

namespace ondo::testing {
namespace {

struct TypeRow {
    const char* id;
    int pageSize;
    int pageCount;
    int eeSize;
    int endWord;
};

void PrintTo(const TypeRow& row, std::ostream* out) { *out << row.id; }

class EveryUnitType : public EndToEnd, public ::testing::WithParamInterface<TypeRow> {};

TEST_P(EveryUnitType, WholeUpdateLeavesTheImageInTheUnit) {
    const TypeRow row = GetParam();
    ASSERT_TRUE(startUnit({"--type", row.id}));
    run();
    EXPECT_EQ(seq->lastOutcome(), RunOutcome::Complete) << face.lastStatus().text;
    EXPECT_EQ(face.lastStatus().text, "Complete.");
    ASSERT_FALSE(face.boxes.empty());
    EXPECT_EQ(face.boxes.back().text, "Flash and EEPROM Programming complete (0 retries).");
    EXPECT_EQ(seq->PageSize, row.pageSize);
    EXPECT_EQ(stat("pages_stored"), row.pageCount);
    EXPECT_EQ(stat("pages_rejected"), 0);
    EXPECT_EQ(stat("end_word"), row.endWord);
    EXPECT_EQ(stat("eeprom_writes"), row.eeSize);
    expectUnitHoldsTheImage(row.pageSize * row.pageCount, row.eeSize);
    EXPECT_FALSE(seq->Flashing);
    EXPECT_EQ(face.startCaption, "Start");
    EXPECT_TRUE(face.startEnabled);
    EXPECT_FALSE(face.abortEnabled);
}

INSTANTIATE_TEST_SUITE_P(Types, EveryUnitType,
                         ::testing::Values(TypeRow{"AlaR", 64, 124, 512, 0x03FF},
                                           TypeRow{"NmaS", 128, 126, 512, 0xFFFF},
                                           TypeRow{"BmaS", 128, 126, 512, 0x03FE},
                                           TypeRow{"EnbS", 128, 252, 1024, 0x03FE},
                                           TypeRow{"XobS", 256, 252, 2048, 0xFFFF}),
                         [](const auto& info) { return std::string(info.param.id); });

class Update : public EndToEnd {};

TEST_F(Update, EEOnlyWritesTheEepromAndLeavesTheFlash) {
    ASSERT_TRUE(startUnit({"--type", "EnbS"}));
    face.options[Option::EEOnly] = true;
    run();
    // No identification since start-up: 512 bytes, and not told as the whole (1,024) EEPROM.
    EXPECT_EQ(seq->lastOutcome(), RunOutcome::EepromSizeAssumed);
    EXPECT_EQ(stat("boot_entries"), 0);
    EXPECT_EQ(stat("eeprom_writes"), 512);
    const auto flash = unitFlash();
    for (std::size_t a = 0; a < flash.size(); ++a) ASSERT_EQ(flash[a], 0xFF) << a;
    const auto eeprom = unitEeprom();
    EXPECT_EQ(eeprom[511], static_cast<std::uint8_t>(511 * 13 + 5));
    EXPECT_EQ(eeprom[512], 0xFF);
}

TEST_F(Update, FlashOnlyProgramsThePagesAndNoEeprom) {
    ASSERT_TRUE(startUnit({"--type", "AlaR"}));
    face.options[Option::FlashOnly] = true;
    run();
    EXPECT_EQ(seq->lastOutcome(), RunOutcome::Complete);
    EXPECT_EQ(stat("pages_stored"), 124);
    EXPECT_EQ(stat("eeprom_writes"), 0);
    EXPECT_EQ(stat("restarts"), 1);
    EXPECT_EQ(face.boxes.back().text, "Flash and EEPROM Programming complete (0 retries).");
}

TEST_F(Update, OldFirmwareIsSentToTheRescue) {
    ASSERT_TRUE(startUnit({"--version", "0022"}));
    run();
    ASSERT_EQ(face.boxes.size(), 1u);
    EXPECT_EQ(face.boxes[0].text,
              "You must select the Rescue option\rfor Rev 0022 or lower firmware.");
    EXPECT_EQ(stat("boot_entries"), 0);
}

TEST_F(Update, RescueEntryAfterThePowerUpWithTheJumper) {
    ASSERT_TRUE(startUnit({"--version", "0022", "--type", "BmaS"}));
    face.options[Option::Rescue] = true;
    face.onAsk = [this](const MessageBox& box) {
        if (box.title == "Rescue Requires a Temorary Jumper") {
            EXPECT_TRUE(unit->control("rescue"));
        }
    };
    run();
    EXPECT_EQ(seq->lastOutcome(), RunOutcome::Complete) << face.lastStatus().text;
    EXPECT_EQ(stat("pages_stored"), 126);
    expectUnitHoldsTheImage(128 * 126, 512);
}

TEST_F(Update, SilentUnitGetsTheNoCommsBox) {
    ASSERT_TRUE(startUnit({"--silent"}));
    run();
    ASSERT_EQ(face.boxes.size(), 1u);
    EXPECT_EQ(face.boxes[0].text, "No Comms? Check for correct COM Port and wiring, etc.");
    EXPECT_EQ(seq->lastOutcome(), RunOutcome::NoComms);
}

}  // namespace
}  // namespace ondo::testing
