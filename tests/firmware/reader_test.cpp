// Reading a firmware file from disk through the engine's face: the messages, the log, the error
// label and FlashFileValid, for good files, bad files, missing files and files that misbehave.

#include "firmware/reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

#include "hxf_helpers.h"
#include "support/recording_face.h"

namespace ondo {
namespace {

using testing::filledImage;
using testing::hxfRecord;
using testing::logLines;
using testing::RecordingFace;
using testing::TempDir;

constexpr std::uint8_t kUntouched = 0xEE;

using Statuses = std::vector<std::pair<Colour, std::string>>;
Statuses statusesOf(const RecordingFace& face) {
    Statuses out;
    for (const auto& s : face.statuses) out.emplace_back(s.colour, s.text);
    return out;
}

// A file of 120 lines whose only blank line is line 57, with 960 bytes of code in 60 records and
// 64 bytes of EEPROM data in 4 records.
std::string exampleFile() {
    std::string text;
    auto line = [&](const std::string& l) { text += l + "\r\n"; };
    for (int i = 1; i <= 5; ++i) line("! header line " + std::to_string(i));
    for (int r = 0; r < 60; ++r) {
        std::vector<int> bytes(16);
        for (int k = 0; k < 16; ++k) bytes[k] = (r * 16 + k) * 7 & 0xFF;
        if (r == 51) line("");  // line 57
        line(hxfRecord('C', r * 16, bytes));
    }
    for (int r = 0; r < 4; ++r) line(hxfRecord('E', r * 16, std::vector<int>(16, 0xA0 + r)));
    for (int i = 1; i <= 50; ++i) line("! trailer line " + std::to_string(i));
    return text;
}

// ---------------------------------------------------------------------------------------------
// A good read.

TEST(ReadFlashFileGood, LogOfTheExampleLineForLine) {
    TempDir dir;
    const std::string name = dir.write("release.HXF", exampleFile());
    RecordingFace face;
    face.log = "old log";
    face.errorLabel = "old label";
    FirmwareImage image;
    readFlashFile(face, image, name, false);

    EXPECT_EQ(logLines(face.log),
              (std::vector<std::string>{"*** blank line (57) detected", "", "120 lines in file -> ",
                                        name, "", "960 bytes Flash code", "64 bytes EEPROM data"}));
    EXPECT_EQ(face.errorLabel, "*** blank line (57) detected");
    EXPECT_EQ(statusesOf(face), (Statuses{{Colour::Plain, "Reading flash file ..."},
                                          {Colour::Status, "Read file OK (120 lines)"}}));
    EXPECT_TRUE(image.FlashFileValid);
    for (int a = 0; a < 960; ++a) ASSERT_EQ(image.FlashImage[a], (a * 7) & 0xFF) << a;
    EXPECT_EQ(image.FlashImage[960], 0);
    EXPECT_EQ(image.EEimage[0], 0xA0);
    EXPECT_EQ(image.EEimage[63], 0xA3);
    EXPECT_EQ(image.EEimage[64], 0);
}

TEST(ReadFlashFileGood, SummaryEndsWithoutLineEnd) {
    TempDir dir;
    const std::string name = dir.write("one.HXF", "E:02001000A55AEF\r\n");
    RecordingFace face;
    FirmwareImage image;
    readFlashFile(face, image, name, false);
    EXPECT_EQ(face.log, "\r\n1 lines in file -> \r\n" + name +
                            "\r\n\r\n0 bytes Flash code\r\n2 bytes EEPROM data");
    EXPECT_EQ(face.errorLabel, "");
}

TEST(ReadFlashFileGood, TwoBlankLinesLeaveTheLaterInTheLabel) {
    TempDir dir;
    const std::string name = dir.write("blanks.HXF", "\r\n! x\r\n\r\n");
    RecordingFace face;
    FirmwareImage image;
    readFlashFile(face, image, name, false);
    EXPECT_TRUE(image.FlashFileValid);
    EXPECT_EQ(face.errorLabel, "*** blank line (3) detected");
    const auto lines = logLines(face.log);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "*** blank line (1) detected");
    EXPECT_EQ(lines[1], "*** blank line (3) detected");
    EXPECT_EQ(lines[3], "3 lines in file -> ");
}

TEST(ReadFlashFileGood, EmptyAndCommentOnlyFilesAreValidWithNoBytes) {
    TempDir dir;
    for (const char* content : {"", "! release notes only\r\n! nothing else\r\n"}) {
        SCOPED_TRACE(content);
        const std::string name = dir.write("plain.HXF", content);
        RecordingFace face;
        FirmwareImage image = filledImage(kUntouched);
        readFlashFile(face, image, name, false);
        EXPECT_TRUE(image.FlashFileValid);
        const int lines = std::string(content).empty() ? 0 : 2;
        EXPECT_EQ(face.log, "\r\n" + std::to_string(lines) + " lines in file -> \r\n" + name +
                                "\r\n\r\n0 bytes Flash code\r\n0 bytes EEPROM data");
        EXPECT_EQ(face.lastStatus().text, "Read file OK (" + std::to_string(lines) + " lines)");
        EXPECT_EQ(image.FlashImage, filledImage(kUntouched).FlashImage);
        EXPECT_EQ(image.EEimage, filledImage(kUntouched).EEimage);
    }
}

TEST(ReadFlashFileGood, LineEndsOfAnySystemReadTheSame) {
    TempDir dir;
    for (const char* end : {"\r\n", "\n", "\r"}) {
        const std::string name =
            dir.write("ends.HXF", std::string("! a") + end + end + "E:02001000A55AEF" + end);
        RecordingFace face;
        FirmwareImage image;
        readFlashFile(face, image, name, false);
        EXPECT_TRUE(image.FlashFileValid);
        EXPECT_EQ(face.lastStatus().text, "Read file OK (3 lines)");
        EXPECT_EQ(face.errorLabel, "*** blank line (2) detected");
        EXPECT_EQ(image.EEimage[16], 0xA5);
    }
}

TEST(ReadFlashFileGood, NamesAreUsedAsTheirBytes) {
    TempDir dir;
    // UTF-8 and Latin-1 spellings of the same name are two different files here.
    for (const std::string file : {"pr\xC3\xBC"
                                   "fung.HXF",
                                   "pr\xFC"
                                   "fung.HXF"}) {
        const std::string name = dir.write(file, "E:02001000A55AEF");
        RecordingFace face;
        FirmwareImage image;
        readFlashFile(face, image, name, false);
        EXPECT_TRUE(image.FlashFileValid) << face.lastStatus().text;
        EXPECT_EQ(logLines(face.log).at(2), name);
    }
}

// ---------------------------------------------------------------------------------------------
// Failed reads.

TEST(ReadFlashFileFailure, LogHoldsTheNoticesSoFarAndBytesStay) {
    TempDir dir;
    const std::string name =
        dir.write("bad.HXF", "! x\r\n\r\nC:0100000055AA\r\nQ:00\r\n" + hxfRecord('C', 1, {7}));
    RecordingFace face;
    face.log = "old log";
    FirmwareImage image;
    image.FlashFileValid = true;
    readFlashFile(face, image, name, false);
    EXPECT_FALSE(image.FlashFileValid);
    EXPECT_EQ(face.log, "*** blank line (2) detected\r\n");
    EXPECT_EQ(face.errorLabel, "*** blank line (2) detected");
    EXPECT_EQ(statusesOf(face), (Statuses{{Colour::Plain, "Reading flash file ..."},
                                          {Colour::Error, "Invalid HXF file format @ line 4"}}));
    EXPECT_EQ(image.FlashImage[0], 0x55);
    EXPECT_EQ(image.FlashImage[1], 0);
}

TEST(ReadFlashFileFailure, ChecksumErrorOfTheExample) {
    TempDir dir;
    const std::string name = dir.write("sum.HXF", "! a\r\n! b\r\n! c\r\nE:02001000A55AEE\r\n");
    RecordingFace face;
    FirmwareImage image;
    readFlashFile(face, image, name, false);
    EXPECT_FALSE(image.FlashFileValid);
    EXPECT_EQ(face.lastStatus().colour, Colour::Error);
    EXPECT_EQ(face.lastStatus().text, "Checksum error @ line 4, 11 = EE");
    EXPECT_EQ(face.log, "");
    EXPECT_EQ(image.EEimage[16], 0xA5);
}

TEST(ReadFlashFileFailure, SecondFileKeepsFirstFilesBytesWhereItHasNone) {
    TempDir dir;
    const std::string first = dir.write("first.HXF", hxfRecord('C', 0, {1, 2, 3, 4}));
    const std::string second = dir.write("second.HXF", hxfRecord('C', 2, {9}) + "\r\nZ");
    RecordingFace face;
    FirmwareImage image;
    readFlashFile(face, image, first, false);
    ASSERT_TRUE(image.FlashFileValid);
    readFlashFile(face, image, second, false);
    EXPECT_FALSE(image.FlashFileValid);
    EXPECT_EQ(image.FlashImage[0], 1);
    EXPECT_EQ(image.FlashImage[2], 9);
    EXPECT_EQ(image.FlashImage[3], 4);
}

TEST(ReadFlashFileFailure, MissingFileFolderAndEmptyNameSayNoFile) {
    TempDir dir;
    for (const std::string& name : {dir.path("missing.HXF"), dir.dir(), std::string()}) {
        SCOPED_TRACE(name);
        RecordingFace face;
        face.log = "old log";
        face.errorLabel = "old label";
        FirmwareImage image = filledImage(kUntouched);
        image.FlashFileValid = true;
        readFlashFile(face, image, name, false);
        EXPECT_FALSE(image.FlashFileValid);
        EXPECT_EQ(statusesOf(face), (Statuses{{Colour::Error, "No File " + name}}));
        EXPECT_EQ(face.log, "old log");
        EXPECT_EQ(face.errorLabel, "old label");
        EXPECT_EQ(image.FlashImage, filledImage(kUntouched).FlashImage);
    }
}

TEST(ReadFlashFileFailure, RefusedWhileFlashingAndNothingChanges) {
    TempDir dir;
    const std::string name = dir.write("new.HXF", hxfRecord('C', 0, {0x11}));
    RecordingFace face;
    face.log = "=!=!=!";
    FirmwareImage image = filledImage(kUntouched);
    image.FlashFileValid = true;
    readFlashFile(face, image, name, true);
    EXPECT_TRUE(image.FlashFileValid);
    EXPECT_EQ(image.FlashImage[0], kUntouched);
    EXPECT_EQ(face.log, "=!=!=!");
    EXPECT_EQ(statusesOf(face), (Statuses{{Colour::Error, "Flash file not read while flashing"}}));

    // Even a missing file leaves a valid image valid while flashing.
    readFlashFile(face, image, dir.path("gone.HXF"), true);
    EXPECT_TRUE(image.FlashFileValid);
}

// ---------------------------------------------------------------------------------------------
// Files that cannot be opened or read, and huge ones.

// A stream that yields `data` and then fails as a disk read would.
class FailingBuf : public std::streambuf {
  public:
    explicit FailingBuf(std::string data) : data_(std::move(data)) {
        setg(data_.data(), data_.data(), data_.data() + data_.size());
    }

  protected:
    int_type underflow() override { throw std::runtime_error("input/output error"); }

  private:
    std::string data_;
};

// A stream without end that repeats `pattern`.
class EndlessBuf : public std::streambuf {
  public:
    explicit EndlessBuf(std::string pattern) : pattern_(std::move(pattern)) {}

  protected:
    int_type underflow() override {
        setg(pattern_.data(), pattern_.data(), pattern_.data() + pattern_.size());
        return traits_type::to_int_type(pattern_[0]);
    }

  private:
    std::string pattern_;
};

TEST(ReadFlashFileTrouble, StreamThatCannotBeOpenedIsReported) {
    RecordingFace face;
    face.log = "old log";
    FirmwareImage image;
    image.FlashFileValid = true;
    TempDir dir;
    std::ifstream closed(dir.path("vanished.HXF"));
    readFlashStream(face, image, "locked.HXF", closed);
    EXPECT_FALSE(image.FlashFileValid);
    EXPECT_EQ(statusesOf(face), (Statuses{{Colour::Error, "Cannot open file locked.HXF"}}));
    EXPECT_EQ(face.log, "old log");
}

TEST(ReadFlashFileTrouble, ReadErrorStopsTheReadAndKeepsWhatWasStored) {
    // Far more than one chunk of the reader arrives before the failure.
    std::string data = "C:0100000055AA\r\n";
    while (data.size() < 200 * 1024) data += "! a comment that fills the file\r\n";
    FailingBuf buf(data + "C:01000100");
    std::istream in(&buf);
    RecordingFace face;
    FirmwareImage image;
    readFlashStream(face, image, "disk.HXF", in);
    EXPECT_FALSE(image.FlashFileValid);
    EXPECT_EQ(face.lastStatus().colour, Colour::Error);
    EXPECT_EQ(face.lastStatus().text, "Cannot read file disk.HXF");
    EXPECT_EQ(image.FlashImage[0], 0x55);
    EXPECT_EQ(logLines(face.log).size(), 1u) << "no summary";
}

TEST(ReadFlashFileTrouble, FileThatCannotBeReadFromDisk) {
    // An ordinary file that opens but fails on the first read.
    const std::string name = "/proc/self/mem";
    if (!std::filesystem::is_regular_file(name)) GTEST_SKIP() << "no " << name << " here";
    RecordingFace face;
    FirmwareImage image;
    readFlashFile(face, image, name, false);
    EXPECT_FALSE(image.FlashFileValid);
    EXPECT_EQ(statusesOf(face), (Statuses{{Colour::Plain, "Reading flash file ..."},
                                          {Colour::Error, "Cannot read file /proc/self/mem"}}));
}

TEST(ReadFlashFileTrouble, FileOverTheLimitIsRefusedUpFront) {
    TempDir dir;
    const std::string name = dir.path("huge.HXF");
    dir.write("huge.HXF", hxfRecord('C', 0, {0x11}) + "\r\n");
    std::filesystem::resize_file(name, 50 * 1024 * 1024);  // 50 MB, the rest zero bytes
    RecordingFace face;
    face.log = "old log";
    FirmwareImage image;
    readFlashFile(face, image, name, false);
    EXPECT_FALSE(image.FlashFileValid);
    EXPECT_EQ(statusesOf(face),
              (Statuses{{Colour::Plain, "Reading flash file ..."},
                        {Colour::Error, "Flash file too large (over 1048576 bytes)"}}));
    EXPECT_EQ(image.FlashImage[0], 0) << "nothing of it is read";
    EXPECT_EQ(face.log, "old log");
}

TEST(ReadFlashFileTrouble, FileAtTheLimitIsRead) {
    TempDir dir;
    std::string text = "E:02001000A55AEF\r\n";
    const std::string comment = "! padding to the limit\r\n";
    while (text.size() + comment.size() <= kMaxFlashFileBytes) text += comment;
    text += std::string(kMaxFlashFileBytes - text.size(), '!');
    ASSERT_EQ(text.size(), kMaxFlashFileBytes);
    const std::string name = dir.write("limit.HXF", text);
    RecordingFace face;
    FirmwareImage image;
    readFlashFile(face, image, name, false);
    EXPECT_TRUE(image.FlashFileValid) << face.lastStatus().text;

    dir.write("limit.HXF", text + "!");
    readFlashFile(face, image, name, false);
    EXPECT_FALSE(image.FlashFileValid);
    EXPECT_EQ(face.lastStatus().text, "Flash file too large (over 1048576 bytes)");
}

TEST(ReadFlashFileTrouble, EndlessStreamStopsAtTheLimit) {
    // Many lines, many blank lines, and one line that never ends.
    for (const char* pattern : {"! comment line\r\n", "\n", "C:0100000055AA"}) {
        SCOPED_TRACE(pattern);
        EndlessBuf buf(pattern);
        std::istream in(&buf);
        RecordingFace face;
        FirmwareImage image;
        readFlashStream(face, image, "growing.HXF", in);
        EXPECT_FALSE(image.FlashFileValid);
        EXPECT_EQ(face.lastStatus().text, "Flash file too large (over 1048576 bytes)");
    }
}

TEST(ReadFlashFileTrouble, MillionBlankLinesAreAllReported) {
    TempDir dir;
    const std::string name = dir.write("blank.HXF", std::string(kMaxFlashFileBytes, '\n'));
    RecordingFace face;
    FirmwareImage image;
    readFlashFile(face, image, name, false);
    EXPECT_TRUE(image.FlashFileValid);
    EXPECT_EQ(face.errorLabel, "*** blank line (1048576) detected");
    EXPECT_EQ(face.lastStatus().text, "Read file OK (1048576 lines)");
    const auto lines = logLines(face.log);
    ASSERT_EQ(lines.size(), 1048576u + 6);
    EXPECT_EQ(lines[0], "*** blank line (1) detected");
    EXPECT_EQ(lines[524287], "*** blank line (524288) detected");
    EXPECT_EQ(lines[1048575], "*** blank line (1048576) detected");
}

}  // namespace
}  // namespace ondo
