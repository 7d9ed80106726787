// The command console's key handling, over the in-memory serial library.

#include "console/console.h"

#include <gtest/gtest.h>

#include "link/link_fixture.h"

namespace ondo::testing {
namespace {

class ConsoleTest : public LinkTest {
protected:
    Console console{link, face};

    int press(int key) {
        console.tCmd_KeyPress(key);
        return key;
    }
};

TEST_F(ConsoleTest, EnterEchoesEmptiesAndSendsExactlyAsTyped) {
    openQuietly();
    face.pane.clear();
    face.cmd = "v";
    EXPECT_EQ(press(13), 0) << "Enter consumed";
    EXPECT_EQ(face.pane, "[ v ]");
    EXPECT_EQ(face.cmd, "");
    EXPECT_EQ(serial.sent, "v\r");
    EXPECT_EQ(console.LastCmd, "v");

    face.cmd = " e0012a5 ";
    press(13);
    EXPECT_EQ(serial.sent, "v\r e0012a5 \r");
}

TEST_F(ConsoleTest, EnterWithPortClosedKeepsTheText) {
    face.cmd = "v";
    EXPECT_EQ(press(13), 13);
    EXPECT_EQ(face.lastStatus().text, "COM port not open");
    EXPECT_EQ(face.lastStatus().colour, Colour::Error);
    EXPECT_EQ(face.cmd, "v");
    EXPECT_EQ(console.LastCmd, "");
}

TEST_F(ConsoleTest, EnterOnEmptyBoxDoesNothing) {
    openQuietly();
    face.pane.clear();
    press(13);
    EXPECT_EQ(serial.sent, "");
    EXPECT_EQ(face.pane, "");
}

TEST_F(ConsoleTest, UpArrowRecallsTheOneLastCommand) {
    openQuietly();
    face.cmd = "restored";
    int key = 38;
    console.tCmd_KeyDown(key);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(face.cmd, "") << "nothing sent yet: the box empties, even over a restored command";

    face.cmd = "v";
    press(13);
    key = 38;
    console.tCmd_KeyDown(key);
    EXPECT_EQ(face.cmd, "v");
    EXPECT_EQ(face.cmdCaret, 1);
    key = 40;
    console.tCmd_KeyDown(key);
    EXPECT_EQ(key, 40) << "other keys pass";
}

TEST_F(ConsoleTest, KeyTypedInThePaneStartsAFreshCommand) {
    openQuietly();
    face.cmd = "old";
    int key = 'm';
    console.tRx_KeyPress(key);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(face.cmd, "m");
    EXPECT_EQ(face.cmdCaret, 1);
    EXPECT_EQ(face.cmdFocused, 1);
    EXPECT_EQ(face.beeps, 1);
    EXPECT_FALSE(console.KeyForwarded);

    key = 8;
    console.tRx_KeyPress(key);
    EXPECT_EQ(face.cmd, "\b") << "a control character becomes the whole text too";
}

TEST_F(ConsoleTest, EnterTypedInTheLogSendsTheBox) {
    openQuietly();
    face.cmd = "t1";
    int key = 13;
    console.tText_KeyPress(key);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(serial.sent, "t1\r");
    EXPECT_EQ(face.beeps, 1);
}

TEST_F(ConsoleTest, NothingIsSentWhileARunOwnsTheUnit) {
    openQuietly();
    Link::RunClaim run(link);
    face.cmd = "v";
    EXPECT_EQ(press(13), 13);
    EXPECT_EQ(serial.sent, "");
    EXPECT_TRUE(face.statuses.empty());
    int key = 'x';
    console.tRx_KeyPress(key);
    EXPECT_EQ(face.cmd, "v") << "a pane key does not reach the box while flashing";
    EXPECT_EQ(face.cmdFocused, 1);
    EXPECT_EQ(face.beeps, 1);
}

TEST_F(ConsoleTest, CmdLabelEmptiesThePane) {
    face.pane = "abc";
    face.cmd = "v";
    console.lCmd_Click();
    EXPECT_EQ(face.pane, "");
    EXPECT_EQ(face.cmd, "v");
}

}  // namespace
}  // namespace ondo::testing
