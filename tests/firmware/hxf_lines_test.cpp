// Cutting the file's bytes into lines: the three line ends, chunk boundaries, and memory that
// stays bounded on huge inputs.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "firmware/hxf.h"
#include "hxf_helpers.h"

namespace ondo {
namespace {

using testing::hxfRecord;

// Every line the splitter hands over for `text`, fed in chunks of `chunk` bytes.
std::vector<std::string> cut(std::string_view text, std::size_t chunk = 4096,
                             std::size_t keep = kHxfLineKeep) {
    HxfLineSplitter splitter(keep);
    std::vector<std::string> lines;
    auto sink = [&](std::string_view line) {
        lines.emplace_back(line);
        return true;
    };
    for (std::size_t at = 0; at < text.size(); at += chunk) {
        splitter.feed(text.substr(at, chunk), sink);
    }
    splitter.finish(sink);
    return lines;
}

using Lines = std::vector<std::string>;

// ---------------------------------------------------------------------------------------------
// Line ends.

TEST(HxfLineEnds, CrLfLfAndLoneCrEachEndALine) {
    EXPECT_EQ(cut("a\r\nb\r\nc"), (Lines{"a", "b", "c"}));
    EXPECT_EQ(cut("a\nb\nc"), (Lines{"a", "b", "c"}));
    EXPECT_EQ(cut("a\rb\rc"), (Lines{"a", "b", "c"}));
    EXPECT_EQ(cut("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
}

TEST(HxfLineEnds, CrLfIsOneEndNeverABlankLine) {
    EXPECT_EQ(cut("a\r\n\r\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(cut("a\n\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(cut("a\r\rb"), (Lines{"a", "", "b"}));
    // LF then CR is two ends: the CR ends an empty line.
    EXPECT_EQ(cut("a\n\rb"), (Lines{"a", "", "b"}));
}

TEST(HxfLineEnds, FinalLineEndAddsNoEmptyLine) {
    EXPECT_EQ(cut("a\r\n"), (Lines{"a"}));
    EXPECT_EQ(cut("a\n"), (Lines{"a"}));
    EXPECT_EQ(cut("a\r"), (Lines{"a"}));
    EXPECT_EQ(cut("a"), (Lines{"a"}));
    EXPECT_EQ(cut(""), Lines{});
    EXPECT_EQ(cut("\r\n"), (Lines{""}));
    EXPECT_EQ(cut("a\r\n\r\n"), (Lines{"a", ""}));
}

TEST(HxfLineEnds, ChunkBoundariesDoNotMatter) {
    const std::string text = "! head\r\n\r\nC:0100000055AA\r\rE:02001000A55AEF\n\n\r\n!tail\r";
    const Lines whole = cut(text, text.size());
    for (std::size_t chunk = 1; chunk <= text.size(); ++chunk) {
        EXPECT_EQ(cut(text, chunk), whole) << "chunks of " << chunk;
    }
}

TEST(HxfLineEnds, FileSavedOnAnySystemReadsTheSame) {
    const std::vector<std::string> lines = {"! release", "", hxfRecord('C', 0, {1, 2, 3}),
                                            hxfRecord('E', 4, {9, 8}), "! end"};
    FirmwareImage reference;
    std::vector<std::string> referenceNotices;
    std::string crlf;
    for (const auto& l : lines) crlf += l + "\r\n";
    const HxfReport expected = readHxfText(crlf, reference, &referenceNotices);
    ASSERT_EQ(expected.error, "");
    EXPECT_EQ(referenceNotices, (std::vector<std::string>{"*** blank line (2) detected"}));

    for (const char* end : {"\n", "\r"}) {
        std::string text;
        for (const auto& l : lines) text += l + end;
        FirmwareImage image;
        std::vector<std::string> notices;
        const HxfReport report = readHxfText(text, image, &notices);
        EXPECT_EQ(report.error, "");
        EXPECT_EQ(report.lines, 5);
        EXPECT_EQ(report.flashBytes, expected.flashBytes);
        EXPECT_EQ(report.eeBytes, expected.eeBytes);
        EXPECT_EQ(notices, referenceNotices);
        EXPECT_EQ(image.FlashImage, reference.FlashImage);
        EXPECT_EQ(image.EEimage, reference.EEimage);
    }
}

// ---------------------------------------------------------------------------------------------
// Long lines and huge inputs.

TEST(HxfHugeInput, LongLineIsCutToWhatCanMatter) {
    const std::string record = hxfRecord('C', 0, std::vector<int>(255, 0x5A));
    ASSERT_EQ(record.size(), kHxfLineKeep) << "the longest record is exactly what is kept";
    const Lines lines = cut(record + std::string(5000, 'X') + "\r\n! next", 100);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], record);
    EXPECT_EQ(lines[1], "! next");
}

TEST(HxfHugeInput, TenMegabyteLineHoldsBoundedMemoryAndReadsClean) {
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
    EXPECT_EQ(reader.report().lines, 1);
    EXPECT_EQ(reader.report().flashBytes, 2);
    EXPECT_EQ(image.FlashImage[0x20], 0xC3);
    EXPECT_EQ(image.FlashImage[0x21], 0x3C);
}

TEST(HxfHugeInput, FiftyMegabytesOfRecordsStreamThroughBoundedMemory) {
    std::string chunk;
    int recordsPerChunk = 0;
    while (chunk.size() < 64 * 1024 - 64) {
        chunk += hxfRecord(recordsPerChunk % 2 ? 'C' : 'E', (recordsPerChunk * 16) % 4080,
                           std::vector<int>(16, recordsPerChunk & 0xFF)) +
                 "\r\n";
        ++recordsPerChunk;
    }
    FirmwareImage image;
    HxfReader reader(image);
    HxfLineSplitter splitter;
    auto sink = [&](std::string_view line) { return reader.line(line); };
    const int chunks = 50 * 1024 * 1024 / static_cast<int>(chunk.size()) + 1;
    std::size_t mostHeld = 0;
    for (int i = 0; i < chunks; ++i) {
        ASSERT_TRUE(splitter.feed(chunk, sink)) << reader.report().error;
        mostHeld = std::max(mostHeld, splitter.held());
    }
    splitter.finish(sink);
    EXPECT_LE(mostHeld, kHxfLineKeep);
    EXPECT_EQ(reader.report().error, "");
    EXPECT_EQ(reader.report().lines, static_cast<std::int64_t>(chunks) * recordsPerChunk);
    EXPECT_EQ(reader.report().flashBytes + reader.report().eeBytes,
              static_cast<std::int64_t>(chunks) * recordsPerChunk * 16);
}

TEST(HxfHugeInput, FailureEarlyInAHugeStreamStopsTheCutting) {
    FirmwareImage image;
    HxfReader reader(image);
    HxfLineSplitter splitter;
    int linesSeen = 0;
    auto sink = [&](std::string_view line) {
        ++linesSeen;
        return reader.line(line);
    };
    EXPECT_FALSE(splitter.feed("! ok\r\nbad line\r\n! never\r\n! seen\r\n", sink));
    EXPECT_EQ(linesSeen, 2);
    EXPECT_EQ(reader.report().error, "Invalid HXF file format @ line 2");
    EXPECT_FALSE(reader.line("! later lines are ignored"));
    EXPECT_EQ(reader.report().lines, 2);
}

}  // namespace
}  // namespace ondo
