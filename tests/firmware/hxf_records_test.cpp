// The HXF parser on its own: what each kind of line and record does to the image and the report.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/hxf.h"
#include "hxf_helpers.h"
#include "link/hex.h"

namespace ondo {
namespace {

using testing::filledImage;
using testing::hxfRecord;

constexpr std::uint8_t kUntouched = 0xEE;

// ---------------------------------------------------------------------------------------------
// The worked example of the format.

TEST(HxfWorkedExample, EepromRecordStoresBothBytesAtItsAddress) {
    FirmwareImage image = filledImage(kUntouched);
    const HxfReport report = readHxfText("E:02001000A55AEF", image);
    EXPECT_EQ(report.error, "");
    EXPECT_EQ(report.lines, 1);
    EXPECT_EQ(report.eeBytes, 2);
    EXPECT_EQ(report.flashBytes, 0);
    EXPECT_EQ(image.EEimage[15], kUntouched);
    EXPECT_EQ(image.EEimage[16], 0xA5);
    EXPECT_EQ(image.EEimage[17], 0x5A);
    EXPECT_EQ(image.EEimage[18], kUntouched);
    EXPECT_EQ(image.FlashImage[16], kUntouched);
}

TEST(HxfWorkedExample, ChecksumFailureOnLineFourNamesSumAndChecksum) {
    FirmwareImage image = filledImage(kUntouched);
    const HxfReport report = readHxfText(
        "! release 2.1a\r\nC:0100000055AA\r\n! end of code\r\nE:02001000A55AEE\r\n", image);
    EXPECT_EQ(report.error, "Checksum error @ line 4, 11 = EE");
    EXPECT_EQ(report.lines, 4);
    // The failing record's own bytes stay stored, as do those of the records before it.
    EXPECT_EQ(image.EEimage[16], 0xA5);
    EXPECT_EQ(image.EEimage[17], 0x5A);
    EXPECT_EQ(image.FlashImage[0], 0x55);
    EXPECT_EQ(report.eeBytes, 2);
    EXPECT_EQ(report.flashBytes, 1);
}

TEST(HxfWorkedExample, RecordBuilderAgreesWithTheExample) {
    // The tests below build many records with this helper; it must write what a release does.
    EXPECT_EQ(hxfRecord('E', 0x0010, {0xA5, 0x5A}), "E:02001000A55AEF");
    EXPECT_EQ(hxfRecord('C', 0x0000, {0x55}), "C:0100000055AA");
}

// ---------------------------------------------------------------------------------------------
// Record edge cases, one line each.

struct Stored {
    bool code;  // FlashImage, else EEimage
    int address;
    int value;
};

struct RecordCase {
    const char* what;
    const char* line;
    const char* error;  // "" for a good record
    int flashBytes;
    int eeBytes;
    std::vector<Stored> stored;
};

const std::vector<RecordCase>& recordCases() {
    static const std::vector<RecordCase> cases = {
        {"kind and mark alone are a good empty record", "C:", "", 0, 0, {{true, 0, kUntouched}}},
        {"a lone count digit is a good empty record", "E:0", "", 0, 0, {}},
        {"an end-of-file record stores nothing", "C:00000001FF", "", 0, 0, {}},
        {"type 01 stores its data",
         "C:02001001AABB88",
         "",
         2,
         0,
         {{true, 0x10, 0xAA}, {true, 0x11, 0xBB}, {true, 0x12, kUntouched}}},
        {"type 02 stores its data", "E:010020027766", "", 0, 1, {{false, 0x20, 0x77}}},
        {"a count longer than the line reads zeros and fails the checksum",
         "C:04000000AABB",
         "Checksum error @ line 1, 69 = 0",
         4,
         0,
         {{true, 0, 0xAA}, {true, 1, 0xBB}, {true, 2, 0}, {true, 3, 0}, {true, 4, kUntouched}}},
        {"text after the checksum is ignored",
         "E:02001000A55AEF and anything after it, zz",
         "",
         0,
         2,
         {{false, 16, 0xA5}, {false, 17, 0x5A}}},
        {"a non-hex checksum passes when the sum's low byte is 1",
         "C:01001000F0zz",
         "",
         1,
         0,
         {{true, 0x10, 0xF0}}},
        {"a non-hex checksum otherwise shows as FFFFFFFF",
         "C:01001000F1ZZ",
         "Checksum error @ line 1, 2 = FFFFFFFF",
         1,
         0,
         {{true, 0x10, 0xF1}}},
        {"a sum of 5 shows as the single digit 5",
         "C:0100000004FA",
         "Checksum error @ line 1, 5 = FA",
         1,
         0,
         {{true, 0, 0x04}}},
        {"a checksum below 16 shows one digit",
         "C:01000000040A",
         "Checksum error @ line 1, 5 = A",
         1,
         0,
         {}},
        {"the sum shows in upper case",
         "C:01000000AA00",
         "Checksum error @ line 1, AB = 0",
         1,
         0,
         {}},
        {"a count that is not hex carries no data; the checksum follows the type",
         "C:zz00000001",
         "",
         0,
         0,
         {{true, 0, kUntouched}}},
        {"a data byte that is not hex stops the read, earlier bytes kept",
         "C:02000000AAzz00",
         "Bad Hex data byte @ line 1",
         1,
         0,
         {{true, 0, 0xAA}, {true, 1, kUntouched}}},
        {"a lower-case data byte is not hex",
         "E:01000000ab54",
         "Bad Hex data byte @ line 1",
         0,
         0,
         {{false, 0, kUntouched}}},
    };
    return cases;
}

TEST(HxfRecordEdgeCases, EachCaseStoresAndReportsAsTheFormatSays) {
    for (const RecordCase& c : recordCases()) {
        SCOPED_TRACE(c.what);
        FirmwareImage image = filledImage(kUntouched);
        const HxfReport report = readHxfText(c.line, image);
        EXPECT_EQ(report.error, c.error);
        EXPECT_EQ(report.lines, 1);
        EXPECT_EQ(report.flashBytes, c.flashBytes);
        EXPECT_EQ(report.eeBytes, c.eeBytes);
        for (const Stored& s : c.stored) {
            const int value = s.code ? image.FlashImage[s.address] : image.EEimage[s.address];
            EXPECT_EQ(value, s.value) << (s.code ? "flash " : "EEPROM ") << s.address;
        }
        EXPECT_FALSE(image.FlashFileValid) << "the parser never decides validity";
    }
}

TEST(HxfRecordEdgeCases, LaterRecordWinsAndRepeatsAreCounted) {
    FirmwareImage image = filledImage(kUntouched);
    const std::string text =
        hxfRecord('C', 0x100, {1, 2, 3}) + "\r\n" + hxfRecord('C', 0x101, {9}) + "\r\n";
    const HxfReport report = readHxfText(text, image);
    EXPECT_EQ(report.error, "");
    EXPECT_EQ(report.flashBytes, 4);
    EXPECT_EQ(image.FlashImage[0x100], 1);
    EXPECT_EQ(image.FlashImage[0x101], 9);
    EXPECT_EQ(image.FlashImage[0x102], 3);
}

TEST(HxfRecordEdgeCases, NothingAfterAFailureIsRead) {
    FirmwareImage image = filledImage(kUntouched);
    const std::string text = "C:0100000055AB\r\n" + hxfRecord('C', 1, {0x66}) + "\r\n\r\n";
    const HxfReport report = readHxfText(text, image);
    EXPECT_EQ(report.error, "Checksum error @ line 1, 56 = AB");
    EXPECT_EQ(report.lines, 1);
    EXPECT_EQ(image.FlashImage[1], kUntouched);
}

// ---------------------------------------------------------------------------------------------
// Line kinds and line numbers.

TEST(HxfLineKinds, OnlyUpperCaseCAndEAreRecords) {
    const std::vector<std::string> invalid = {
        "c:0100000055AA", "e:02001000A55AEF", " C:0100000055AA", ":0100000055AA", "X", "\t!"};
    for (const std::string& line : invalid) {
        SCOPED_TRACE(line);
        FirmwareImage image = filledImage(kUntouched);
        const HxfReport report = readHxfText(line, image);
        EXPECT_EQ(report.error, "Invalid HXF file format @ line 1");
        EXPECT_EQ(image.FlashImage[0], kUntouched);
        EXPECT_EQ(image.EEimage[0x10], kUntouched);
    }
}

TEST(HxfLineKinds, SecondCharacterMustBeTheRecordMark) {
    for (const std::string line : {"C;0100000055AA", "C", "E 02001000A55AEF", "CC:0100000055AA"}) {
        SCOPED_TRACE(line);
        FirmwareImage image = filledImage(kUntouched);
        EXPECT_EQ(readHxfText(line, image).error, "Bad Hex data format @ line 1");
        EXPECT_EQ(image.FlashImage[0], kUntouched);
    }
}

TEST(HxfLineKinds, CommentLinesAreSkippedWhateverTheyHold) {
    FirmwareImage image = filledImage(kUntouched);
    const HxfReport report = readHxfText("!\r\n!C:0100000055AA\r\n! any text at all\r\n", image);
    EXPECT_EQ(report.error, "");
    EXPECT_EQ(report.lines, 3);
    EXPECT_EQ(report.flashBytes, 0);
    EXPECT_EQ(image.FlashImage[0], kUntouched);
}

TEST(HxfLineKinds, LineNumbersCountCommentAndBlankLines) {
    FirmwareImage image = filledImage(kUntouched);
    std::vector<std::string> notices;
    const std::string text = "! a\r\n\r\n! b\r\n" + hxfRecord('C', 0, {1}) +
                             "\r\n\r\n! c\r\n! d\r\n! e\r\n! f\r\n! g\r\n\r\n:00000001FF\r\n";
    const HxfReport report = readHxfText(text, image, &notices);
    EXPECT_EQ(report.error, "Invalid HXF file format @ line 12");
    EXPECT_EQ(report.lines, 12);
    EXPECT_EQ(notices, (std::vector<std::string>{"*** blank line (2) detected",
                                                 "*** blank line (5) detected",
                                                 "*** blank line (11) detected"}));
}

TEST(HxfLineKinds, BlankLinesAreNotFailures) {
    FirmwareImage image = filledImage(kUntouched);
    std::vector<std::string> notices;
    const HxfReport report = readHxfText("\r\n\r\nE:02001000A55AEF", image, &notices);
    EXPECT_EQ(report.error, "");
    EXPECT_EQ(report.lines, 3);
    EXPECT_EQ(report.eeBytes, 2);
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[1], "*** blank line (2) detected");
}

TEST(HxfLineKinds, EmptyTextAndCommentsOnlyReadCleanWithNoBytes) {
    FirmwareImage image = filledImage(kUntouched);
    HxfReport report = readHxfText("", image);
    EXPECT_EQ(report.error, "");
    EXPECT_EQ(report.lines, 0);
    report = readHxfText("! only\r\n! comments\r\n", image);
    EXPECT_EQ(report.error, "");
    EXPECT_EQ(report.lines, 2);
    EXPECT_EQ(report.flashBytes + report.eeBytes, 0);
    EXPECT_EQ(image.FlashImage, filledImage(kUntouched).FlashImage);
    EXPECT_EQ(image.EEimage, filledImage(kUntouched).EEimage);
}

// ---------------------------------------------------------------------------------------------
// Bounds of the image: nothing is ever written past its end.

TEST(HxfBounds, CodeByteAt32768IsTheLastOneAccepted) {
    FirmwareImage image = filledImage(kUntouched);
    EXPECT_EQ(readHxfText("C:018000005A25", image).error, "");
    EXPECT_EQ(image.FlashImage[32768], 0x5A);

    image = filledImage(kUntouched);
    const HxfReport report = readHxfText("C:018001005A24", image);
    EXPECT_EQ(report.error, "Address out of range @ line 1");
    EXPECT_EQ(report.flashBytes, 0);
    EXPECT_EQ(image.FlashImage, filledImage(kUntouched).FlashImage);
}

TEST(HxfBounds, EepromByteAt4096IsTheLastOneAccepted) {
    FirmwareImage image = filledImage(kUntouched);
    EXPECT_EQ(readHxfText("E:011000005A95", image).error, "");
    EXPECT_EQ(image.EEimage[4096], 0x5A);

    image = filledImage(kUntouched);
    const HxfReport report = readHxfText("E:011001005A94", image);
    EXPECT_EQ(report.error, "Address out of range @ line 1");
    EXPECT_EQ(report.eeBytes, 0);
    EXPECT_EQ(image.EEimage, filledImage(kUntouched).EEimage);
}

TEST(HxfBounds, RecordRunningPastTheEndIsRefusedBeforeAnyByteIsStored) {
    FirmwareImage image = filledImage(kUntouched);
    EXPECT_EQ(readHxfText(hxfRecord('C', 0x7FFF, {1, 2}), image).error, "");
    EXPECT_EQ(image.FlashImage[32767], 1);
    EXPECT_EQ(image.FlashImage[32768], 2);

    image = filledImage(kUntouched);
    HxfReport report = readHxfText(hxfRecord('C', 0x8000, {1, 2}), image);
    EXPECT_EQ(report.error, "Address out of range @ line 1");
    EXPECT_EQ(image.FlashImage[32768], kUntouched);

    report = readHxfText("! x\r\n" + hxfRecord('E', 0x0FFE, {1, 2, 3, 4}), image);
    EXPECT_EQ(report.error, "Address out of range @ line 2");
    EXPECT_EQ(image.EEimage[4094], kUntouched);
    EXPECT_EQ(image.EEimage[4096], kUntouched);
}

TEST(HxfBounds, HighAndNegativeAddressesAreRefused) {
    FirmwareImage image = filledImage(kUntouched);
    std::vector<int> full(255, 0x42);
    EXPECT_EQ(readHxfText(hxfRecord('C', 0xFFFF, full), image).error,
              "Address out of range @ line 1");
    // An address byte that is not hex reads as -1, giving an address below 0.
    EXPECT_EQ(readHxfText("C:01ZZ000055AB", image).error, "Address out of range @ line 1");
    EXPECT_EQ(readHxfText("E:01zzzz005501", image).error, "Address out of range @ line 1");
    EXPECT_EQ(image.FlashImage, filledImage(kUntouched).FlashImage);
    EXPECT_EQ(image.EEimage, filledImage(kUntouched).EEimage);
}

TEST(HxfBounds, RecordsWithoutDataMayCarryAnyAddress) {
    FirmwareImage image = filledImage(kUntouched);
    EXPECT_EQ(readHxfText(hxfRecord('C', 0xFFFF, {}), image).error, "");
    EXPECT_EQ(readHxfText(hxfRecord('E', 0xFFFF, {}, 1), image).error, "");
}

TEST(HxfBounds, LongestRecordFillsTheImageEnd) {
    FirmwareImage image = filledImage(kUntouched);
    std::vector<int> full(255);
    for (int i = 0; i < 255; ++i) full[i] = i;
    const HxfReport report = readHxfText(hxfRecord('C', 32769 - 255, full), image);
    EXPECT_EQ(report.error, "");
    EXPECT_EQ(report.flashBytes, 255);
    EXPECT_EQ(image.FlashImage[32769 - 255], 0);
    EXPECT_EQ(image.FlashImage[32768], 254);
}

// ---------------------------------------------------------------------------------------------
// The image across reads.

TEST(HxfImageState, SecondReadKeepsTheFirstReadsBytesWhereItHasNone) {
    FirmwareImage image;
    ASSERT_EQ(
        readHxfText(hxfRecord('C', 0, {1, 2, 3, 4}) + "\r\n" + hxfRecord('E', 8, {7}), image).error,
        "");
    ASSERT_EQ(readHxfText(hxfRecord('C', 2, {0x30, 0x40, 0x50}), image).error, "");
    EXPECT_EQ(image.FlashImage[0], 1);
    EXPECT_EQ(image.FlashImage[1], 2);
    EXPECT_EQ(image.FlashImage[2], 0x30);
    EXPECT_EQ(image.FlashImage[4], 0x50);
    EXPECT_EQ(image.EEimage[8], 7);
}

TEST(HxfImageState, FailedReadKeepsWhatItStoredBeforeTheFailure) {
    FirmwareImage image;
    const std::string text = hxfRecord('C', 0x40, {0xDE, 0xAD}) + "\r\n" +
                             hxfRecord('E', 0x03, {0xBE}) + "\r\nQ\r\n" +
                             hxfRecord('C', 0x50, {0x11});
    const HxfReport report = readHxfText(text, image);
    EXPECT_EQ(report.error, "Invalid HXF file format @ line 3");
    EXPECT_EQ(image.FlashImage[0x40], 0xDE);
    EXPECT_EQ(image.FlashImage[0x41], 0xAD);
    EXPECT_EQ(image.EEimage[0x03], 0xBE);
    EXPECT_EQ(image.FlashImage[0x50], 0);
}

TEST(HxfHexText, ShowsValuesWithoutLeadingZeros) {
    EXPECT_EQ(hexNoZeros(0), "0");
    EXPECT_EQ(hexNoZeros(5), "5");
    EXPECT_EQ(hexNoZeros(0xAB), "AB");
    EXPECT_EQ(hexNoZeros(0x100), "100");
    EXPECT_EQ(hexNoZeros(-1), "FFFFFFFF");
}

}  // namespace
}  // namespace ondo
