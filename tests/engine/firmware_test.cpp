// SPDX-License-Identifier: GPL-3.0-or-later
// The firmware file: the HXF parser's records, line ends and bounds, and reading files through the
// face (the chunked reader's own checks are the fuzz target's, tests/fuzz).

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

#include "firmware/hxf.h"
#include "firmware/reader.h"
#include "support/hxf_file.h"
#include "support/recording_face.h"
#include "support/run.h"

namespace ondo::testing {
namespace {

constexpr std::uint8_t kUntouched = 0xEE;

FirmwareImage filled() {
    FirmwareImage image;
    image.FlashImage.fill(kUntouched);
    image.EEimage.fill(kUntouched);
    return image;
}

struct Parse {
    const char* name;
    std::string text, error;
    std::int64_t lines, flashBytes, eeBytes;
    // Every byte the read writes, the rest stays untouched: "C0010:AABB E0003:BE" are code bytes
    // AA BB from 0x0010 and the EEPROM byte BE at 3.
    std::string stored = "";
    std::string notices = "";  // the blank-line numbers noticed, "2 5 11"
};
void PrintTo(const Parse& p, std::ostream* out) {
    *out << p.name;
}

std::vector<Parse> parses() {
    const std::string range = "Address out of range @ line 1",
                      format = "Bad Hex data format @ line 1",
                      invalid = "Invalid HXF file format @ line 1";
    return {
        {"WorkedExample", "E:02001000A55AEF", "", 1, 0, 2, "E0010:A55A"},
        {"ChecksumErrorNamesSumAndChecksumAndKeepsBytes",
         "! release 2.1a\r\nC:0100000055AA\r\n! end\r\nE:02001000A55AEE\r\n",
         "Checksum error @ line 4, 11 = EE", 4, 1, 2, "C0000:55 E0010:A55A"},
        {"Type01And02StoreTheirData", "C:02001001AABB88\nE:010020027766", "", 2, 2, 1,
         "C0010:AABB E0020:77"},
        {"CountLongerThanTheLineReadsZeros", "C:04000000AABB", "Checksum error @ line 1, 69 = 0", 1,
         4, 0, "C0000:AABB0000"},
        {"TextAfterTheChecksumIsIgnored", "E:02001000A55AEF and anything, zz", "", 1, 0, 2,
         "E0010:A55A"},
        {"NonHexDataByteStopsTheRead", "C:02000000AAzz00", "Bad Hex data byte @ line 1", 1, 1, 0,
         "C0000:AA"},
        {"LowerCaseDataIsNotHex", "E:01000000ab54", "Bad Hex data byte @ line 1", 1, 0, 0},
        {"LaterRecordWinsAndRepeatsCount",
         hxfRecord('C', 0x100, {1, 2, 3}) + "\r\n" + hxfRecord('C', 0x101, {9}), "", 2, 4, 0,
         "C0100:010903"},
        {"LowerCaseKindIsNoRecord", "c:0100000055AA", invalid, 1, 0, 0},
        {"MarkMustBeAColon", "C;0100000055AA", format, 1, 0, 0},
        {"CommentsHoldAnything", "!\r\n!C:0100000055AA\r\n! any text\r\n", "", 3, 0, 0},
        {"LineNumbersCountCommentsAndBlankLines",
         "! a\r\n\r\n! b\r\nC:0100000001FE\r\n\r\n! c\r\n! d\r\n! e\r\n! f\r\n! g\r\n\r\n:00\r\n",
         "Invalid HXF file format @ line 12", 12, 1, 0, "C0000:01", "2 5 11"},
        {"CrLfLfAndLoneCrEachEndOneLine",
         "! head\r\n\r\nC:0100000055AA\r\rE:02001000A55AEF\n\r!tail\r", "", 7, 1, 2,
         "C0000:55 E0010:A55A", "2 4 6"},
        {"FailedReadKeepsWhatItStoredBefore",
         hxfRecord('C', 0x40, {0xDE, 0xAD}) + "\r\n" + hxfRecord('E', 3, {0xBE}) + "\r\nQ\r\n" +
             hxfRecord('C', 0x50, {0x11}),
         "Invalid HXF file format @ line 3", 3, 2, 1, "C0040:DEAD E0003:BE"},
        {"CodeByteAt32768IsTheLastAccepted", "C:018000005A25", "", 1, 1, 0, "C8000:5A"},
        {"CodeByteAt32769IsOutOfRange", "C:018001005A24", range, 1, 0, 0},
        {"EepromByteAt4096IsTheLastAccepted", "E:011000005A95", "", 1, 0, 1, "E1000:5A"},
        {"EepromRecordRunningPastTheEnd", "! x\r\n" + hxfRecord('E', 0x0FFE, {1, 2, 3, 4}),
         "Address out of range @ line 2", 2, 0, 0},
        {"NonHexAddressIsBelowZero", "C:01ZZ000055AB", range, 1, 0, 0},
        {"RecordsWithoutDataMayCarryAnyAddress",
         hxfRecord('C', 0xFFFF, {}) + "\n" + hxfRecord('E', 0xFFFF, {}, 1), "", 2, 0, 0},
    };
}

class HxfParse : public ::testing::TestWithParam<Parse> {};

TEST_P(HxfParse, StoresAndReports) {
    const Parse& p = GetParam();
    FirmwareImage image = filled(), expected = filled();
    std::istringstream stored(p.stored);
    for (std::string run; stored >> run;) {
        std::uint8_t* bytes = run[0] == 'C' ? expected.FlashImage.data() : expected.EEimage.data();
        for (std::size_t i = 6; i < run.size(); i += 2)
            bytes[std::stoi(run.substr(1, 4), nullptr, 16) + (i - 6) / 2] =
                std::stoi(run.substr(i, 2), nullptr, 16);
    }
    std::vector<std::string> notices, expectedNotices;
    const HxfReport report = readHxfText(p.text, image, &notices);
    std::istringstream blank(p.notices);
    for (int line; blank >> line;)
        expectedNotices.push_back("*** blank line (" + std::to_string(line) + ") detected");
    EXPECT_EQ(report.error, p.error);
    EXPECT_EQ(report.lines, p.lines);
    EXPECT_EQ(report.flashBytes, p.flashBytes);
    EXPECT_EQ(report.eeBytes, p.eeBytes);
    EXPECT_EQ(notices, expectedNotices);
    EXPECT_TRUE(image.FlashImage == expected.FlashImage) << "code bytes";
    EXPECT_TRUE(image.EEimage == expected.EEimage) << "EEPROM bytes";
}

INSTANTIATE_TEST_SUITE_P(Firmware, HxfParse, ::testing::ValuesIn(parses()),
                         [](const auto& info) { return std::string(info.param.name); });

const std::string kTooLarge = "Flash file too large (over 1048576 bytes)";
const std::string kReading = "Reading flash file ...|";

// A read through the face: the file's bytes, or "%missing", or a system file's path; then the log
// (it held "old log"), every status line ("|" between) and the error label (it held "old label")
// afterwards; %n stands for the file's name.
struct Reading {
    const char* name;
    std::string content, log, statuses;
    bool valid;
    std::string label = "";
};
void PrintTo(const Reading& r, std::ostream* out) {
    *out << r.name;
}
class ReadFile : public ::testing::TestWithParam<Reading> {};

std::string expand(std::string text, const std::string& name) {
    for (auto at = text.find("%n"); at != std::string::npos; at = text.find("%n"))
        text.replace(at, 2, name);
    return text;
}

TEST_P(ReadFile, LogStatusLabelAndValidity) {
    const Reading& r = GetParam();
    TempFolder dir;
    std::string name = dir.file(r.name) + ".HXF";
    if (r.content.starts_with("/"))
        name = r.content;
    else if (r.content != "%missing")
        writeFile(name, r.content);
    RecordingFace face;
    face.log = "old log";
    face.errorLabel = "old label";
    FirmwareImage image;
    image.FlashFileValid = !r.valid;
    readFlashFile(face, image, name, false);
    EXPECT_EQ(face.log, expand(r.log, name));
    std::string statuses;
    for (const auto& s : face.statuses) statuses += (statuses.empty() ? "" : "|") + s.text;
    EXPECT_EQ(statuses, expand(r.statuses, name));
    EXPECT_EQ(face.lastStatus().colour, r.valid ? Colour::Status : Colour::Error);
    EXPECT_EQ(image.FlashFileValid, r.valid);
    EXPECT_EQ(face.errorLabel, r.label);
}

std::string summary(int lines, int code, int ee) {
    return "\r\n" + std::to_string(lines) + " lines in file -> \r\n%n\r\n\r\n" +
           std::to_string(code) + " bytes Flash code\r\n" + std::to_string(ee) +
           " bytes EEPROM data";
}
const std::string kBlank2 = "*** blank line (2) detected";
INSTANTIATE_TEST_SUITE_P(
    Firmware, ReadFile,
    ::testing::Values(
        Reading{"TwoBlankLinesLeaveTheLaterInTheLabel", "\r\n! x\r\n\r\n",
                "*** blank line (1) detected\r\n*** blank line (3) detected\r\n" + summary(3, 0, 0),
                kReading + "Read file OK (3 lines)", true, "*** blank line (3) detected"},
        Reading{"GoodFileWithALatin1NamePr\xFC"
                "fung",
                "E:02001000A55AEF", summary(1, 0, 2), kReading + "Read file OK (1 lines)", true},
        Reading{"FailureKeepsTheNoticesSoFar", "! x\r\n\r\nC:0100000055AA\r\nQ:00\r\n",
                kBlank2 + "\r\n", kReading + "Invalid HXF file format @ line 4", false, kBlank2},
        Reading{"AtTheLimitIsRead",
                "E:02001000A55AEF\r\n" + std::string(kMaxFlashFileBytes - 18, '!'),
                summary(2, 0, 2), kReading + "Read file OK (2 lines)", true},
        Reading{"OverTheLimitIsRefusedUpFront", std::string(kMaxFlashFileBytes + 1, '!'), "old log",
                kReading + kTooLarge, false, "old label"},
        Reading{"Missing", "%missing", "old log", "No File %n", false, "old label"},
        Reading{"Unreadable", "/proc/self/mem", "", kReading + "Cannot read file %n", false}),
    [](const auto& info) {
        std::string name = info.param.name;
        std::erase_if(name, [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); });
        return name;
    });

}  // namespace
}  // namespace ondo::testing
