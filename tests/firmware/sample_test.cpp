// The demo firmware files in samples/ read cleanly and fit the units they are made for.

#include <gtest/gtest.h>

#include <string>

#include "firmware/reader.h"
#include "hxf_helpers.h"
#include "support/recording_face.h"

namespace ondo {
namespace {

using testing::logLines;
using testing::RecordingFace;

struct Sample {
    const char* file;
    int flashBytes;  // the code flash of its unit: page size times page count
    int lines;
    int codeBytes;
};

void expectFits(const Sample& s) {
    SCOPED_TRACE(s.file);
    const std::string name = std::string(ONDO_SAMPLES_DIR) + "/" + s.file;
    RecordingFace face;
    FirmwareImage image;
    readFlashFile(face, image, name, false);
    ASSERT_TRUE(image.FlashFileValid) << face.lastStatus().text;
    EXPECT_EQ(face.lastStatus().text, "Read file OK (" + std::to_string(s.lines) + " lines)");
    EXPECT_EQ(face.errorLabel, "") << "no blank lines";
    const auto log = logLines(face.log);
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[4], std::to_string(s.codeBytes) + " bytes Flash code");
    EXPECT_EQ(log[5], "512 bytes EEPROM data");
    // Most of the unit's flash is carried, nothing beyond it.
    EXPECT_GT(s.codeBytes, s.flashBytes * 9 / 10);
    EXPECT_LE(s.codeBytes, s.flashBytes);
    for (int a = s.codeBytes; a < kFlashImageSize; ++a) ASSERT_EQ(image.FlashImage[a], 0) << a;
    // The program starts with a relative jump, as a reset vector does.
    EXPECT_EQ(image.FlashImage[1] & 0xF0, 0xC0);
}

TEST(DemoSamples, SixtyFourBytePageUnitFileReadsAndFits) {
    expectFits({"demo-AlaR.HXF", 64 * 124, 5 + 7424 / 16 + 512 / 16, 7424});
}

TEST(DemoSamples, HundredTwentyEightBytePageUnitFileReadsAndFits) {
    expectFits({"demo-BmaS.HXF", 128 * 126, 5 + 15104 / 16 + 512 / 16, 15104});
}

}  // namespace
}  // namespace ondo
