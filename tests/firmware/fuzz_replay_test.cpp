// Replays the fuzzer's seeds and every input that once broke the reader (tests/fuzz/regressions),
// so that a fault the fuzzer found stays found without running the fuzzer.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "firmware/hxf.h"

namespace ondo {
namespace {

std::vector<std::filesystem::path> inputsIn(const std::string& folder) {
    std::vector<std::filesystem::path> files;
    const std::filesystem::path dir =
        std::filesystem::path(ONDO_SOURCE_DIR) / "tests/fuzz" / folder;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    return files;
}

std::string contents(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Reads `text` fed in chunks of `chunk` bytes.
HxfReport readInChunks(const std::string& text, std::size_t chunk, FirmwareImage& image) {
    HxfReader reader(image);
    HxfLineSplitter splitter;
    auto sink = [&](std::string_view line) { return reader.line(line); };
    bool goOn = true;
    for (std::size_t at = 0; goOn && at < text.size(); at += chunk) {
        goOn = splitter.feed(std::string_view(text).substr(at, chunk), sink);
    }
    if (goOn) splitter.finish(sink);
    return reader.report();
}

void replay(const std::filesystem::path& file) {
    SCOPED_TRACE(file.filename().string());
    const std::string text = contents(file);
    FirmwareImage whole;
    const HxfReport expected = readHxfText(text, whole);
    EXPECT_FALSE(whole.FlashFileValid);
    for (std::size_t chunk : {1, 3, 64}) {
        FirmwareImage pieces;
        const HxfReport got = readInChunks(text, chunk, pieces);
        EXPECT_EQ(got.error, expected.error) << "chunks of " << chunk;
        EXPECT_EQ(got.lines, expected.lines);
        EXPECT_EQ(got.flashBytes, expected.flashBytes);
        EXPECT_EQ(got.eeBytes, expected.eeBytes);
        EXPECT_EQ(pieces.FlashImage, whole.FlashImage);
        EXPECT_EQ(pieces.EEimage, whole.EEimage);
    }
}

TEST(HxfFuzzReplay, RegressionInputsReadWithoutHarm) {
    const auto files = inputsIn("regressions");
    ASSERT_FALSE(files.empty());
    for (const auto& file : files) replay(file);
}

TEST(HxfFuzzReplay, KnownRegressionsEndAsTheyShould) {
    struct Known {
        const char* file;
        const char* error;
    };
    // Data bytes that would land past the end of the code image, and below address 0.
    for (const Known& k :
         {Known{"record-past-flash-end.hxf", "Address out of range @ line 1"},
          Known{"record-below-address-zero.hxf", "Address out of range @ line 1"}}) {
        const auto path =
            std::filesystem::path(ONDO_SOURCE_DIR) / "tests/fuzz/regressions" / k.file;
        ASSERT_TRUE(std::filesystem::exists(path)) << path;
        FirmwareImage image;
        EXPECT_EQ(readHxfText(contents(path), image).error, k.error) << k.file;
        EXPECT_EQ(image.FlashImage, FirmwareImage().FlashImage);
    }
}

TEST(HxfFuzzReplay, SeedsReadTheSameInAnyChunks) {
    const auto files = inputsIn("seeds");
    ASSERT_GE(files.size(), 10u);
    for (const auto& file : files) replay(file);
}

}  // namespace
}  // namespace ondo
