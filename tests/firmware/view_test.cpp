// Viewing the firmware file's raw text in the log (the revision-label click).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "firmware/reader.h"
#include "hxf_helpers.h"
#include "support/recording_face.h"

namespace ondo {
namespace {

using testing::RecordingFace;
using testing::TempDir;

TEST(ViewFlashFile, EveryLineEndsWithCrLfInTheLog) {
    TempDir dir;
    const std::string name =
        dir.write("view.HXF", "! release\r\nC:0100000055AA\n\rE:02001000A55AEF\r\nlast");
    RecordingFace face;
    face.log = "old log";
    face.errorLabel = "label";
    viewFlashFile(face, name);
    EXPECT_EQ(face.log, "! release\r\nC:0100000055AA\r\n\r\nE:02001000A55AEF\r\nlast\r\n");
    ASSERT_EQ(face.statuses.size(), 1u);
    EXPECT_EQ(face.lastStatus().colour, Colour::Plain);
    EXPECT_EQ(face.lastStatus().text, "Reading flash file ...");
    EXPECT_EQ(face.errorLabel, "label");
}

TEST(ViewFlashFile, ShowsBadFilesAndLongLinesWhole) {
    TempDir dir;
    const std::string longLine(3000, 'Z');
    const std::string name = dir.write("junk.HXF", "not a record\r" + longLine + "\r\n");
    RecordingFace face;
    viewFlashFile(face, name);
    EXPECT_EQ(face.log, "not a record\r\n" + longLine + "\r\n");
    EXPECT_EQ(face.lastStatus().text, "Reading flash file ...");
}

TEST(ViewFlashFile, EmptyFileEmptiesTheLog) {
    TempDir dir;
    const std::string name = dir.write("empty.HXF", "");
    RecordingFace face;
    face.log = "old log";
    viewFlashFile(face, name);
    EXPECT_EQ(face.log, "");
}

TEST(ViewFlashFile, MissingFileOrFolderSaysNoFileAndKeepsTheLog) {
    TempDir dir;
    for (const std::string& name : {dir.path("missing.HXF"), dir.dir(), std::string()}) {
        RecordingFace face;
        face.log = "old log";
        viewFlashFile(face, name);
        EXPECT_EQ(face.log, "old log");
        ASSERT_EQ(face.statuses.size(), 1u);
        EXPECT_EQ(face.lastStatus().colour, Colour::Error);
        EXPECT_EQ(face.lastStatus().text, "No File " + name);
    }
}

TEST(ViewFlashFile, UnreadableOrHugeFileKeepsTheLog) {
    TempDir dir;
    const std::string huge = dir.write("huge.HXF", "! x\r\n");
    std::filesystem::resize_file(huge, kMaxFlashFileBytes + 1);
    RecordingFace face;
    face.log = "old log";
    viewFlashFile(face, huge);
    EXPECT_EQ(face.log, "old log");
    EXPECT_EQ(face.lastStatus().colour, Colour::Error);
    EXPECT_EQ(face.lastStatus().text, "Flash file too large (over 1048576 bytes)");

    std::ifstream closed(dir.path("vanished.HXF"));
    viewFlashStream(face, "vanished.HXF", closed);
    EXPECT_EQ(face.log, "old log");
    EXPECT_EQ(face.lastStatus().text, "Cannot open file vanished.HXF");

    if (std::filesystem::is_regular_file("/proc/self/mem")) {
        viewFlashFile(face, "/proc/self/mem");
        EXPECT_EQ(face.log, "old log");
        EXPECT_EQ(face.lastStatus().text, "Cannot read file /proc/self/mem");
    }
}

}  // namespace
}  // namespace ondo
