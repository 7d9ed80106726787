// The firmware file: the HXF parser's records and bounds, cutting bytes into lines in bounded
// memory, reading and viewing files through the face, and the sample files.

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/hex.h"
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
    std::vector<std::string> notices = {};
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
        {"KindAndMarkAloneAreAnEmptyRecord", "C:", "", 1, 0, 0},
        {"Type01And02StoreTheirData", "C:02001001AABB88\nE:010020027766", "", 2, 2, 1,
         "C0010:AABB E0020:77"},
        {"CountLongerThanTheLineReadsZeros", "C:04000000AABB", "Checksum error @ line 1, 69 = 0", 1,
         4, 0, "C0000:AABB0000"},
        {"TextAfterTheChecksumIsIgnored", "E:02001000A55AEF and anything, zz", "", 1, 0, 2,
         "E0010:A55A"},
        {"NonHexChecksumOtherwiseShowsAsFFFFFFFF", "C:01001000F1ZZ",
         "Checksum error @ line 1, 2 = FFFFFFFF", 1, 1, 0, "C0010:F1"},
        {"SumAndChecksumInUpperCaseWithoutLeadingZeros", "C:01000000AA0A",
         "Checksum error @ line 1, AB = A", 1, 1, 0, "C0000:AA"},
        {"NonHexCountCarriesNoData", "C:zz00000001", "", 1, 0, 0},
        {"NonHexDataByteStopsTheRead", "C:02000000AAzz00", "Bad Hex data byte @ line 1", 1, 1, 0,
         "C0000:AA"},
        {"LowerCaseDataIsNotHex", "E:01000000ab54", "Bad Hex data byte @ line 1", 1, 0, 0},
        {"LaterRecordWinsAndRepeatsCount",
         hxfRecord('C', 0x100, {1, 2, 3}) + "\r\n" + hxfRecord('C', 0x101, {9}), "", 2, 4, 0,
         "C0100:010903"},
        {"LowerCaseKindIsNoRecord", "c:0100000055AA", invalid, 1, 0, 0},
        {"TabBeforeTheComment", "\t!", invalid, 1, 0, 0},
        {"MarkMustBeAColon", "C;0100000055AA", format, 1, 0, 0},
        {"CommentsHoldAnything", "!\r\n!C:0100000055AA\r\n! any text\r\n", "", 3, 0, 0},
        {"EmptyText", "", "", 0, 0, 0},
        {"LineNumbersCountCommentsAndBlankLines",
         "! a\r\n\r\n! b\r\nC:0100000001FE\r\n\r\n! c\r\n! d\r\n! e\r\n! f\r\n! g\r\n\r\n:00\r\n",
         "Invalid HXF file format @ line 12",
         12,
         1,
         0,
         "C0000:01",
         {"*** blank line (2) detected", "*** blank line (5) detected",
          "*** blank line (11) detected"}},
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
    std::vector<std::string> notices;
    const HxfReport report = readHxfText(p.text, image, &notices);
    EXPECT_EQ(report.error, p.error);
    EXPECT_EQ(report.lines, p.lines);
    EXPECT_EQ(report.flashBytes, p.flashBytes);
    EXPECT_EQ(report.eeBytes, p.eeBytes);
    EXPECT_EQ(notices, p.notices);
    EXPECT_TRUE(image.FlashImage == expected.FlashImage) << "code bytes";
    EXPECT_TRUE(image.EEimage == expected.EEimage) << "EEPROM bytes";
}

INSTANTIATE_TEST_SUITE_P(Firmware, HxfParse, ::testing::ValuesIn(parses()),
                         [](const auto& info) { return std::string(info.param.name); });

// Every line the splitter hands over for text, fed in chunks of `chunk` bytes.
std::vector<std::string> cut(std::string_view text, std::size_t chunk) {
    HxfLineSplitter splitter;
    std::vector<std::string> lines;
    auto sink = [&](std::string_view line) {
        lines.emplace_back(line);
        return true;
    };
    for (std::size_t at = 0; at < text.size(); at += chunk)
        splitter.feed(text.substr(at, chunk), sink);
    splitter.finish(sink);
    return lines;
}

TEST(HxfLines, CrLfLfAndLoneCrEachEndOneLineInChunksOfAnySize) {
    using Lines = std::vector<std::string>;
    const std::pair<const char*, Lines> rows[] = {
        {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"a\n\rb", {"a", "", "b"}},
        {"a\r", {"a"}},
        {"", {}},
        {"! head\r\n\r\nC:0100000055AA\r\rE:02001000A55AEF\n\n\r\n!tail\r",
         {"! head", "", "C:0100000055AA", "", "E:02001000A55AEF", "", "", "!tail"}}};
    for (const auto& [text, lines] : rows) {
        const std::string t = text;
        for (std::size_t chunk = 1; chunk <= std::max<std::size_t>(t.size(), 1); ++chunk)
            EXPECT_EQ(cut(t, chunk), lines) << "\"" << t << "\" in chunks of " << chunk;
    }
}

TEST(HxfLines, LongLinesAreCutToWhatCanMatterInBoundedMemory) {
    const std::string record = hxfRecord('C', 0, std::vector<int>(255, 0x5A));
    ASSERT_EQ(record.size(), kHxfLineKeep) << "the longest record is exactly what is kept";
    EXPECT_EQ(cut(record + std::string(5000, 'X') + "\r\n! next", 100),
              (std::vector<std::string>{record, "! next"}));
    FirmwareImage image;
    HxfReader reader(image);
    HxfLineSplitter splitter;
    std::size_t mostHeld = 0;
    auto sink = [&](std::string_view line) { return reader.line(line); };
    splitter.feed(hxfRecord('C', 0x20, {0xC3, 0x3C}), sink);
    const std::string filler(64 * 1024, '7');
    for (int i = 0; i < 160; ++i) {  // 10 MiB of text after the checksum
        ASSERT_TRUE(splitter.feed(filler, sink));
        mostHeld = std::max(mostHeld, splitter.held());
    }
    splitter.feed("\r\n", sink);
    splitter.finish(sink);
    EXPECT_EQ(mostHeld, kHxfLineKeep);
    EXPECT_EQ(reader.report().error, "");
    EXPECT_EQ(image.FlashImage[0x21], 0x3C);
}

// A file that grows as fast as it is read: the same line forever.
class Endless : public std::streambuf {
    std::string line_ = "! comment line\r\n";
    int_type underflow() override {
        setg(line_.data(), line_.data(), line_.data() + line_.size());
        return '!';
    }
};

const char* const kTooLarge = "Flash file too large (over 1048576 bytes)";

struct Reading {
    const char* name;
    std::string content;  // the file's bytes; %n in the texts below is the file's name
    std::string log;      // what the log holds afterwards (it held "old log"); "*": any
    std::string status;   // the last status line, in red when the read fails
    bool valid;
    std::string label = "";  // the error label afterwards
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
    const std::string name = dir.file(r.name) + ".HXF";
    writeFile(name, r.content);
    RecordingFace face;
    face.log = "old log";
    FirmwareImage image;
    image.FlashFileValid = !r.valid;
    readFlashFile(face, image, name, false);
    if (r.log != "*") {
        EXPECT_EQ(face.log, expand(r.log, name));
    }
    EXPECT_EQ(face.lastStatus().text, expand(r.status, name));
    EXPECT_EQ(face.lastStatus().colour, r.valid ? Colour::Status : Colour::Error);
    EXPECT_EQ(face.statuses.front().text, "Reading flash file ...");
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
                "Read file OK (3 lines)", true, "*** blank line (3) detected"},
        Reading{"GoodFileWithALatin1NamePr\xFC"
                "fung",
                "E:02001000A55AEF", summary(1, 0, 2), "Read file OK (1 lines)", true},
        Reading{"FailureKeepsTheNoticesSoFar", "! x\r\n\r\nC:0100000055AA\r\nQ:00\r\n",
                kBlank2 + "\r\n", "Invalid HXF file format @ line 4", false, kBlank2},
        Reading{"AtTheLimitIsRead",
                "E:02001000A55AEF\r\n" + std::string(kMaxFlashFileBytes - 18, '!'),
                summary(2, 0, 2), "Read file OK (2 lines)", true},
        Reading{"OverTheLimitIsRefusedUpFront", std::string(kMaxFlashFileBytes + 1, '!'), "old log",
                kTooLarge, false}),
    [](const auto& info) {
        std::string name = info.param.name;
        std::erase_if(name, [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); });
        return name;
    });

TEST(ReadFileTrouble, NoFileUnreadableOrEndlessLeavesLogAndLabel) {
    TempFolder dir;
    const std::string limit = dir.file("limit.HXF");
    writeFile(limit, std::string(kMaxFlashFileBytes, '!'));
    std::filesystem::resize_file(limit, 50 * 1024 * 1024);
    const std::pair<std::string, std::string> files[] = {
        {dir.file("missing.HXF"), "No File " + dir.file("missing.HXF")},
        {dir.path(), "No File " + dir.path()},
        {"", "No File "},
        {limit, kTooLarge},
        {"/proc/self/mem", "Cannot read file /proc/self/mem"}};
    for (const auto& [name, status] : files) {
        SCOPED_TRACE(name);
        RecordingFace face;
        face.log = "old log";
        face.errorLabel = "old label";
        FirmwareImage image = filled();
        image.FlashFileValid = true;
        readFlashFile(face, image, name, false);
        EXPECT_FALSE(image.FlashFileValid);
        EXPECT_EQ(face.lastStatus().text, status);
        EXPECT_EQ(face.lastStatus().colour, Colour::Error);
        EXPECT_EQ(face.log, name == "/proc/self/mem" ? "" : "old log");  // that one opened
        EXPECT_TRUE(status.rfind("No File", 0) != 0 || face.errorLabel == "old label");
        EXPECT_TRUE(image.FlashImage == filled().FlashImage) << "nothing of it is read";
    }
    Endless endless;
    std::istream in(&endless);
    std::ifstream closed(dir.file("vanished.HXF"));
    RecordingFace face;
    FirmwareImage image;
    readFlashStream(face, image, "growing.HXF", in);
    EXPECT_EQ(face.lastStatus().text, kTooLarge);
    readFlashStream(face, image, "locked.HXF", closed);
    EXPECT_EQ(face.lastStatus().text, "Cannot open file locked.HXF");
    EXPECT_FALSE(image.FlashFileValid);
}

TEST(ReadFileTrouble, SecondFileKeepsTheFirstFilesBytesWhereItHasNone) {
    TempFolder dir;
    writeFile(dir.file("1.HXF"), hxfRecord('C', 0, {1, 2, 3, 4}));
    writeFile(dir.file("2.HXF"), hxfRecord('C', 2, {9}) + "\r\nZ");
    RecordingFace face;
    FirmwareImage image;
    readFlashFile(face, image, dir.file("1.HXF"), false);
    readFlashFile(face, image, dir.file("2.HXF"), false);
    EXPECT_FALSE(image.FlashFileValid);
    EXPECT_EQ(std::vector<int>(image.FlashImage.begin(), image.FlashImage.begin() + 4),
              (std::vector<int>{1, 2, 9, 4}));
}

TEST(ViewFile, EveryLineWholeWithCrLfAndNothingRead) {
    TempFolder dir;
    const std::string name = dir.file("view.HXF"), longLine(3000, 'Z');
    writeFile(name, "! release\r\nC:0100000055AA\n\rnot a record\r" + longLine + "\r\nlast");
    RecordingFace face;
    face.log = "old log";
    face.errorLabel = "label";
    viewFlashFile(face, name);
    EXPECT_EQ(face.log,
              "! release\r\nC:0100000055AA\r\n\r\nnot a record\r\n" + longLine + "\r\nlast\r\n");
    ASSERT_EQ(face.statuses.size(), 1u);
    EXPECT_EQ(face.lastStatus().text, "Reading flash file ...");
    EXPECT_EQ(face.errorLabel, "label");
}

TEST(SampleFiles, ReadCleanly) {
    const std::pair<const char*, int> samples[] = {{"demo-AlaR.HXF", 7424},
                                                   {"demo-BmaS.HXF", 15104}};
    for (const auto& [file, code] : samples) {
        SCOPED_TRACE(file);
        RecordingFace face;
        FirmwareImage image;
        readFlashFile(face, image, std::string(ONDO_SAMPLES_DIR) + "/" + file, false);
        ASSERT_TRUE(image.FlashFileValid) << face.lastStatus().text;
        EXPECT_EQ(face.errorLabel, "");
        EXPECT_NE(face.log.find("\r\n" + std::to_string(code) + " bytes Flash code\r\n512 bytes "),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace ondo::testing
