// One page through the bootloader: the frame's bytes, the checksum and what each answer does.

#include <algorithm>
#include <numeric>

#include "flash/flash_bench.h"

namespace ondo::testing {
namespace {

class OnePage : public FlashBench {
  protected:
    bool program(int page, int pageSize) {
        seq.PageSize = pageSize;
        unit.openExchange(pageSize);
        unit.frames.clear();
        return seq.ProgramPage(page);
    }
    std::uint8_t checksumOfLastFrame() const { return unit.frames.back().back(); }
};

TEST_F(OnePage, Page5OfA64BytePageUnit) {
    ASSERT_TRUE(program(5, 64));
    ASSERT_EQ(unit.frames.size(), 1u);
    const auto& frame = unit.frames[0];
    ASSERT_EQ(frame.size(), 67u);
    EXPECT_EQ(frame[0], 0x00);
    EXPECT_EQ(frame[1], 0x05);
    EXPECT_TRUE(std::equal(frame.begin() + 2, frame.begin() + 66, image.FlashImage.begin() + 320));
    const unsigned sum =
        std::accumulate(image.FlashImage.begin() + 320, image.FlashImage.begin() + 384, 0u);
    EXPECT_EQ(frame[66], sum % 256);
}

TEST_F(OnePage, ErasedPagesCarryTheirChecksums) {
    image.FlashImage.fill(0xFF);
    program(0, 64);
    EXPECT_EQ(checksumOfLastFrame(), 0xC0);
    program(1, 128);
    EXPECT_EQ(checksumOfLastFrame(), 0x80);
    program(2, 256);
    EXPECT_EQ(checksumOfLastFrame(), 0x00);
}

TEST_F(OnePage, CountingBytesCarryChecksumE0) {
    for (int i = 0; i < 64; ++i) image.FlashImage[i] = static_cast<std::uint8_t>(i);
    ASSERT_TRUE(program(0, 64));
    EXPECT_EQ(checksumOfLastFrame(), 0xE0);
}

TEST_F(OnePage, PageNumberGoesOutAsOneByte) {
    program(251, 128);
    EXPECT_EQ(unit.frames.back()[1], 251);
}

TEST_F(OnePage, AcknowledgedPageAppendsExactlyBangEquals) {
    face.log = "=";
    EXPECT_TRUE(program(0, 64));
    EXPECT_EQ(face.log, "=!=");
    EXPECT_EQ(seq.ProgRetries, 0);
    EXPECT_TRUE(face.statuses.empty());
}

TEST_F(OnePage, RejectedPageShowsItsNumberInRed) {
    unit.pageAnswer = [](int, int) { return '@'; };
    face.log = "=";
    EXPECT_FALSE(program(17, 64));
    ASSERT_EQ(face.statuses.size(), 1u);
    EXPECT_EQ(face.statuses[0].text, "Programming failed on page 17");
    EXPECT_EQ(face.statuses[0].colour, Colour::Error);
    EXPECT_EQ(face.log, "=");
    EXPECT_EQ(seq.ProgRetries, 0);
}

TEST_F(OnePage, UnexpectedAnswerIsShownMarkedAndCounted) {
    unit.pageAnswer = [](int, int) { return 'A'; };
    face.log = "=";
    EXPECT_FALSE(program(0, 64));
    EXPECT_EQ(face.dataLabel, "A");
    EXPECT_EQ(face.log, "=???");
    EXPECT_EQ(seq.ProgRetries, 1);
}

TEST_F(OnePage, NoAnswerIsJudgedByTheLastStoredResult) {
    ASSERT_TRUE(program(0, 64));
    serial.onSend = nullptr;  // the unit goes quiet
    serial.putcResult = 0;    // what the library stored for the last byte sent
    face.log.clear();
    EXPECT_FALSE(seq.ProgramPage(1));
    EXPECT_GT(clock.ticks, 5);  // after the short time-out
    EXPECT_EQ(face.log, "???");
    EXPECT_EQ(face.dataLabel, std::string(1, '\0'));
    EXPECT_EQ(seq.ProgRetries, 1);
}

class PageLoop : public FlashBench {};

TEST_F(PageLoop, Page0GarbledOnceIsSentThreeTimes) {
    unit.pageAnswer = [](int page, int attempt) { return page == 0 && attempt == 0 ? 'Z' : '!'; };
    face.options[Option::FlashOnly] = true;
    run();
    EXPECT_EQ(face.fullLog.substr(0, 14),
              "=???"
              "!=!=0=!=1=");
    EXPECT_EQ(unit.frameCount[0], 3);
    EXPECT_EQ(unit.frameCount[1], 1);
    EXPECT_EQ(seq.ProgRetries, 1);
    EXPECT_EQ(face.boxes.back().text, "Flash and EEPROM Programming complete (1 retries).");
    EXPECT_NE(std::find(face.dataLabels.begin(), face.dataLabels.end(), "Z"),
              face.dataLabels.end());
}

TEST_F(PageLoop, RejectionOfPage17IsRetriedWithoutMarks) {
    unit.pageAnswer = [](int page, int attempt) { return page == 17 && attempt == 0 ? '@' : '!'; };
    face.options[Option::FlashOnly] = true;
    run();
    EXPECT_EQ(statusCount("Programming failed on page 17"), 1);
    EXPECT_EQ(face.fullLog.find("???"), std::string::npos);
    EXPECT_NE(face.fullLog.find("=16=!=!=17=!=18="), std::string::npos);
    EXPECT_EQ(unit.frameCount[17], 3);
    EXPECT_EQ(seq.ProgRetries, 0);
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::Complete);
}

TEST_F(PageLoop, RetryCountStartsAgainAtTheFirstPage) {
    seq.ProgRetries = 4;
    face.options[Option::Rescue] = true;  // no version check: straight to the rescue box
    face.onAsk = [&](const MessageBox& box) {
        if (box.buttons == Buttons::OkCancel) {
            seq.ProgRetries = 9;  // whatever was counted before the pages does not count
            unit.powerUpInBootloader();
        }
    };
    face.options[Option::FlashOnly] = true;
    run();
    EXPECT_EQ(seq.ProgRetries, 0);
}

}  // namespace
}  // namespace ondo::testing
