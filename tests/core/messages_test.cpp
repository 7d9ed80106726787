// The trim rules of the progress log and the data pane, at their exact bounds.

#include <gtest/gtest.h>

#include "core/messages.h"
#include "core/version.h"

namespace ondo {
namespace {

TEST(LogTrim, TrimsBeforeAppendingOnlyAbove4096) {
    const std::string exact(4096, 'a');
    EXPECT_EQ(scrollTextAppend(exact, "xy"), exact + "xy");

    std::string over(4096, 'a');
    over += 'b';  // 4097 characters: the first 3071 go, the last 1026 stay
    const std::string trimmed = scrollTextAppend(over, "Z");
    EXPECT_EQ(trimmed.size(), 1026u + 1u);
    EXPECT_EQ(trimmed.back(), 'Z');
    EXPECT_EQ(trimmed[trimmed.size() - 2], 'b');
}

TEST(LogTrim, LongAppendStaysUntilTheNextCall) {
    const std::string grown = scrollTextAppend("", std::string(6000, 'q'));
    EXPECT_EQ(grown.size(), 6000u);
    EXPECT_EQ(scrollTextAppend(grown, "").size(), 6000u - 3071u);
}

TEST(PaneTrim, TrimsAfterAppendingOnlyAbove1024) {
    EXPECT_EQ(dataHistoryAppend(std::string(1000, 'a'), std::string(24, 'b')).size(), 1024u);
    const std::string cut = dataHistoryAppend(std::string(1000, 'a'), std::string(25, 'b'));
    EXPECT_EQ(cut.size(), 514u);
    EXPECT_EQ(cut.substr(cut.size() - 25), std::string(25, 'b'));
}

TEST(PaneTrim, OneLargeAppendIsTrimmedOnce) {
    EXPECT_EQ(dataHistoryAppend("", std::string(5000, 'x')).size(), 4489u);
}

TEST(PaneTrim, CutMaySplitALineEnd) {
    std::string pane(510, 'a');
    pane += "\r\n";
    const std::string cut = dataHistoryAppend(pane, std::string(513, 'c'));
    EXPECT_EQ(cut.front(), '\n');
}

TEST(Revision, TitleAndLabel) {
    EXPECT_EQ(revisionText(), "Rev 2.1a");
    EXPECT_EQ(windowTitle(), "Ondo FLASH utility - Rev 2.1a");
}

}  // namespace
}  // namespace ondo
