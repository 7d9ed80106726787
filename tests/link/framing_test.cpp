// Replies, raw bytes and counted strings against scripted bytes, timed by the tick clock.

#include "link/link_fixture.h"

namespace ondo::testing {
namespace {

using FramingTest = LinkTest;

TEST_F(FramingTest, ReplyIsTheLineAfterTheFirstLineFeedWithItsCarriageReturn) {
    openQuietly();
    serial.deliver("v\r\nV 0024\r\nrest");
    EXPECT_EQ(link.GetResponse(), "\nV 0024\r\n");
    EXPECT_EQ(face.pane, "\nV 0024\r\n");
    EXPECT_FALSE(link.RxBusy);
    EXPECT_EQ(serial.rx.size(), 4u) << "bytes after the reply stay queued";
}

TEST_F(FramingTest, ReplyWithoutLeadingLineFeedIsLost) {
    openQuietly();
    serial.deliver("V 0024\r\nD 1");
    EXPECT_EQ(link.GetResponse(), "\nD 1");
    EXPECT_TRUE(link.TimedOut);
}

TEST_F(FramingTest, NoReplyGivesEmptyTextAfterFiveToSixTicks) {
    openQuietly();
    const int before = clock.ticks;
    EXPECT_EQ(link.GetResponse(), "");
    const int waited = clock.ticks - before;
    EXPECT_GE(waited, 6);
    EXPECT_LE(waited, 6);
    EXPECT_TRUE(link.TimedOut);
    EXPECT_EQ(face.pane, "") << "an empty reply still goes to the pane, adding nothing";
}

TEST_F(FramingTest, ClockStandsStillWhileBytesKeepComing) {
    openQuietly();
    serial.deliver(std::string(20000, 'x') + "\nOK\r\n");
    const int before = clock.ticks;
    EXPECT_EQ(link.GetResponse(), "\nOK\r\n");
    EXPECT_EQ(clock.ticks, before) << "a reader that keeps finding bytes never yields";
}

TEST_F(FramingTest, ReplyArrivingLateWithinTheLimitIsTaken) {
    openQuietly();
    serial.deliverAt(clock.ticks + 4, "\nE 0012\r\n");
    EXPECT_EQ(link.GetResponse(), "\nE 0012\r\n");
    EXPECT_FALSE(link.TimedOut);
}

TEST_F(FramingTest, CountedStringReturnsAtTheFourthNonZeroByte) {
    openQuietly();
    serial.deliver(std::string("A\0la", 4) + "RXYZ");
    EXPECT_EQ(link.GetRawString(4), "AlaR");
    EXPECT_EQ(serial.rx.size(), 3u);
    EXPECT_EQ(link.GetRawString(0), "");
    EXPECT_EQ(link.GetRawString(-3), "");
    EXPECT_EQ(serial.rx.size(), 3u);
}

TEST_F(FramingTest, CountedStringTimesOutWithWhatArrived) {
    openQuietly();
    serial.deliver("Al");
    EXPECT_EQ(link.GetRawString(4), "Al");
    EXPECT_TRUE(link.TimedOut);
}

TEST_F(FramingTest, RawByteAfterTimeOutRepeatsTheLastByteRead) {
    openQuietly();
    serial.deliver(">");
    EXPECT_EQ(link.GetRawByte(), '>');
    EXPECT_EQ(link.GetRawByte(), '>');
    EXPECT_TRUE(link.TimedOut);
}

TEST_F(FramingTest, RawByteAfterASendTimesOutWithTheSendResult) {
    openQuietly();
    serial.putcResult = 0;
    link.sendRaw(0x21);
    EXPECT_EQ(link.GetRawByte(), 0) << "a stale byte never looks like the bootloader's answer";
}

TEST_F(FramingTest, NegativeResultBecomes255) {
    openQuietly();
    link.LastResult = -1;
    EXPECT_EQ(link.GetRawByte(), 255);
}

TEST_F(FramingTest, AbortStopsRawSendsAndEndsRawWaitsAtOnce) {
    openQuietly();
    link.AbortRequested = true;
    link.sendRaw(0x3C);
    EXPECT_EQ(serial.sent, "");
    serial.deliver("!");
    const int before = clock.ticks;
    link.GetRawByte();
    EXPECT_EQ(clock.ticks, before);
    EXPECT_EQ(serial.rx.size(), 1u) << "no byte is read while the abort is set";
    EXPECT_EQ(link.GetRawString(4), "");
}

TEST_F(FramingTest, CommandsEndWithCarriageReturnOnlyAndNeedAnOpenPort) {
    link.TxCommand("tf");
    EXPECT_EQ(serial.sent, "") << "port closed: nothing sent";
    openQuietly();
    link.TxCommand("tf");
    link.TxCommand("");
    EXPECT_EQ(serial.sent, "tf\r\r");
}

TEST_F(FramingTest, DelayCountsTicksIntoTheDataLabel) {
    openQuietly();
    link.DelayTicks(3);
    EXPECT_EQ(face.dataLabels, (std::vector<std::string>{" 1", " 2", " 3", ""}));
    face.dataLabels.clear();
    const int before = clock.ticks;
    link.DelayTicks(0);
    link.DelayTicks(-2);
    EXPECT_EQ(clock.ticks, before);
    EXPECT_EQ(face.dataLabels, (std::vector<std::string>{"", ""}));
}

TEST_F(FramingTest, DelayLongerThanTheLimitSetsTimedOut) {
    openQuietly();
    link.ResetTimeoutShort();
    link.DelayTicks(6);
    EXPECT_TRUE(link.TimedOut);
}

TEST_F(FramingTest, TickClockWrapsAt32000) {
    link.ResetTimeoutLong();
    link.TickCount = 31998;
    link.Timer1_Timer();
    EXPECT_EQ(link.TickCount, 31999);
    link.Timer1_Timer();
    EXPECT_EQ(link.TickCount, 0);
    EXPECT_TRUE(link.TimedOut) << "the flag stays until the next reset";
    link.ResetTimeoutShort();
    EXPECT_FALSE(link.TimedOut);
    EXPECT_EQ(link.TickLimit, 5);
}

TEST_F(FramingTest, TickPollsIntoThePaneUnlessAReaderIsBusy) {
    openQuietly();
    serial.deliver("D 14.7\r\n");
    link.RxBusy = true;
    link.Timer1_Timer();
    EXPECT_EQ(face.pane, "");
    link.RxBusy = false;
    link.Timer1_Timer();
    EXPECT_EQ(face.pane, "D 14.7\r\n");
    EXPECT_TRUE(serial.rx.empty());
}

TEST_F(FramingTest, VanishedDeviceIsNoted) {
    openQuietly();
    serial.lineLost = true;
    link.TxCommand("v");
    EXPECT_TRUE(link.LineLost);
    EXPECT_EQ(link.GetResponse(), "");
}

}  // namespace
}  // namespace ondo::testing
