// The link over the in-memory serial library (replies, raw bytes, the tick clock), the command
// console's keys, the trims of the log and the data pane, and the settings store.

#include "link/link.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "console/console.h"
#include "core/messages.h"
#include "core/settings.h"
#include "support/fake_serial.h"
#include "support/recording_face.h"

namespace ondo::testing {
namespace {

// The unit echoes nothing and answers each command in `replies` with the bytes given.
class LinkTest : public ::testing::Test {
  protected:
    LinkTest() {
        clock.serial = &serial;
        clock.onTick = [this] { link.Timer1_Timer(); };
        serial.onSend = [this](unsigned char byte) {
            if (byte != '\r') return void(line += static_cast<char>(byte));
            if (auto it = replies.find(line); it != replies.end()) serial.deliver(it->second);
            line.clear();
        };
    }
    // Opens COM1 (no greeting: that is the port list's), then forgets the calls it made.
    void openQuietly() {
        link.openPort(0);
        serial.sent.clear();
        serial.calls.clear();
        face.statuses.clear();
    }
    FakeSerial serial;
    RecordingFace face;
    TickPerYield clock;
    std::string line;
    Link link{serial, face, clock};
    std::map<std::string, std::string> replies;
};

TEST_F(LinkTest, ReplyIsTheLineAfterTheFirstLineFeed) {
    openQuietly();
    serial.deliver("v\r\nV 0024\r\nrest");
    EXPECT_EQ(link.GetResponse(), "\nV 0024\r\n");
    EXPECT_EQ(face.pane, "\nV 0024\r\n");
    EXPECT_FALSE(link.RxBusy);
    EXPECT_EQ(serial.rx.size(), 4u) << "bytes after the reply stay queued";
    serial.rx.clear();
    serial.deliver("V 0024\r\nD 1");  // no leading line feed: the reply is lost
    EXPECT_EQ(link.GetResponse(), "\nD 1");
    EXPECT_TRUE(link.TimedOut);
    const int before = clock.ticks;
    EXPECT_EQ(link.GetResponse(), "");
    EXPECT_EQ(clock.ticks - before, 6) << "no reply: empty text after the short time-out";
    serial.deliverAt(clock.ticks + 4, "\nE 0012\r\n");
    EXPECT_EQ(link.GetResponse(), "\nE 0012\r\n");
    EXPECT_FALSE(link.TimedOut);
    serial.deliver(std::string(20000, 'x') + "\nOK\r\n");
    const int streaming = clock.ticks;
    EXPECT_EQ(link.GetResponse(), "\nOK\r\n");
    EXPECT_EQ(clock.ticks, streaming) << "a reader that keeps finding bytes never yields";
}

TEST_F(LinkTest, RawBytesAndCountedStrings) {
    openQuietly();
    serial.deliver(std::string("A\0la", 4) + "RXYZ");
    EXPECT_EQ(link.GetRawString(4), "AlaR") << "zero bytes do not count";
    EXPECT_EQ(link.GetRawString(0) + link.GetRawString(-3), "");
    EXPECT_EQ(serial.rx.size(), 3u);
    serial.rx.clear();
    serial.deliver("Al");
    EXPECT_EQ(link.GetRawString(4), "Al");
    EXPECT_TRUE(link.TimedOut);
    serial.deliver(">");
    EXPECT_EQ(link.GetRawByte(), '>');
    EXPECT_EQ(link.GetRawByte(), '>') << "a time-out repeats the last byte read";
    link.sendRaw(0x21);
    EXPECT_EQ(link.GetRawByte(), 0) << "after a send, its result: never the bootloader's answer";
    link.AbortRequested = true;
    link.sendRaw(0x3C);
    EXPECT_EQ(serial.sent, "!");
    serial.deliver("!");
    const int before = clock.ticks;
    link.GetRawByte();
    EXPECT_EQ(link.GetRawString(4), "");
    EXPECT_EQ(clock.ticks, before) << "an abort ends raw waits at once";
    EXPECT_EQ(serial.rx.size(), 1u);
}

TEST_F(LinkTest, CommandsTicksAndTheBackgroundPoll) {
    link.TxCommand("tf");
    EXPECT_EQ(serial.sent, "") << "port closed: nothing sent";
    openQuietly();
    link.TxCommand("tf");
    link.TxCommand("");
    EXPECT_EQ(serial.sent, "tf\r\r");
    link.DelayTicks(3);
    EXPECT_EQ(face.dataLabels, (std::vector<std::string>{" 1", " 2", " 3", ""}));
    serial.deliver("D 14.7\r\n");
    link.RxBusy = true;
    link.Timer1_Timer();
    EXPECT_EQ(face.pane, "");
    link.RxBusy = false;
    link.Timer1_Timer();
    EXPECT_EQ(face.pane, "D 14.7\r\n");
    serial.lineLost = true;
    link.TxCommand("v");
    EXPECT_TRUE(link.LineLost);
    EXPECT_EQ(link.GetResponse(), "");
}

TEST_F(LinkTest, ParametersAndTheVersionQuery) {
    openQuietly();
    const std::pair<const char*, const char*> params[] = {
        {"\nE 0012 extra\r\n", "0012"}, {"\nE 12\r\n", "12\r\n"}, {"\nOK\r\n", "\nOK\r"}, {"", ""}};
    for (const auto& [reply, param] : params) {
        serial.deliver(reply);
        EXPECT_EQ(link.GetParameter(), param) << reply;
    }
    const std::tuple<const char*, int, const char*> versions[] = {
        {"v\r\nV 0023\r\n", 0x23, "ROM 0023"},
        {"\nV 00a4\r\n", -1, "ROM 00a4"},
        {"\nV 23\r\n", -1, "ROM 23\r\n"},
        {"", 0, "ROM ----"}};
    for (const auto& [reply, value, label] : versions) {
        replies["v"] = reply;
        serial.sent.clear();
        EXPECT_EQ(link.GetVersion(), value) << reply;
        EXPECT_EQ(face.versionLabel, label);
        EXPECT_EQ(serial.sent, "v\r");
    }
    EXPECT_EQ(link.RomVersion, "");
    replies["v"] = "\nV 0024\r\n";
    link.lBootVersion_Click();
    EXPECT_EQ(face.versionLabel, "ROM 0024");
    EXPECT_EQ(link.RomVersion, "0024");
}

// The console's keys: Enter in the box, the Up arrow, keys typed into the pane.
class ConsoleKeys : public LinkTest {
  protected:
    Console console{link, face};
    int key(void (Console::*handler)(int&), int code) {
        (console.*handler)(code);
        return code;
    }
};

TEST_F(ConsoleKeys, EnterSendsAsTypedUpRecallsAndNothingGoesOutWhileARunOwnsTheUnit) {
    face.cmd = "v";
    EXPECT_EQ(key(&Console::tCmd_KeyPress, 13), 13) << "port closed: the key passes";
    EXPECT_EQ(face.lastStatus().text, "COM port not open");
    EXPECT_EQ(face.cmd, "v");
    openQuietly();
    face.pane.clear();
    face.cmd = "restored";
    EXPECT_EQ(key(&Console::tCmd_KeyDown, 38), 0);
    EXPECT_EQ(face.cmd, "") << "nothing sent yet: Up empties the box";
    face.cmd = " e0012a5 ";
    EXPECT_EQ(key(&Console::tCmd_KeyPress, 13), 0);
    EXPECT_EQ(face.pane + "|" + face.cmd, "[  e0012a5  ]|");
    EXPECT_EQ(key(&Console::tCmd_KeyDown, 38), 0);
    EXPECT_EQ(face.cmd + "|" + std::to_string(face.cmdCaret), " e0012a5 |9");
    face.cmd = "t1";
    EXPECT_EQ(key(&Console::tText_KeyPress, 13), 0);
    EXPECT_EQ(serial.sent, " e0012a5 \rt1\r");
    EXPECT_EQ(key(&Console::tRx_KeyPress, 'm'), 0);
    EXPECT_EQ(face.cmd + "|" + std::to_string(face.cmdCaret), "m|1");
    const Link::RunClaim run(link);  // a run owns the unit
    EXPECT_EQ(key(&Console::tCmd_KeyPress, 13), 13);
    key(&Console::tRx_KeyPress, 'x');
    EXPECT_EQ(face.cmd, "m") << "a pane key does not reach the box while flashing";
    EXPECT_EQ(serial.sent, " e0012a5 \rt1\r");
}

TEST(Trims, LogAbove4096BeforeAppendingPaneAbove1024AfterAppending) {
    const std::string exact(4096, 'a');
    EXPECT_EQ(scrollTextAppend(exact, "xy"), exact + "xy");
    EXPECT_EQ(scrollTextAppend(exact + "b", "Z"), std::string(1025, 'a').substr(0, 1025) + "bZ");
    EXPECT_EQ(scrollTextAppend(scrollTextAppend("", std::string(6000, 'q')), "").size(), 2929u);
    EXPECT_EQ(dataHistoryAppend(std::string(1000, 'a'), std::string(24, 'b')).size(), 1024u);
    EXPECT_EQ(dataHistoryAppend(std::string(1000, 'a'), std::string(25, 'b')),
              std::string(489, 'a') + std::string(25, 'b'));
    EXPECT_EQ(dataHistoryAppend("", std::string(5000, 'x')).size(), 4489u);
    EXPECT_EQ(dataHistoryAppend(std::string(510, 'a') + "\r\n", std::string(513, 'c')).front(),
              '\n');
}

TEST(SettingsStore, NumbersKeysAndThePortMap) {
    EXPECT_EQ(formatNumber(1234) + formatNumber(0) + formatNumber(-15), " 1234 0-15");
    const std::pair<const char*, int> numbers[] = {
        {"  12abc", 12}, {"2.5", 2},   {"3.5", 4},
        {"x", 0},        {"", 0},      {" 1", 1},
        {"-15", -15},    {"-2.5", -2}, {"99999999999", 2147483647}};
    for (const auto& [text, value] : numbers) EXPECT_EQ(readNumber(text), value) << text;
    QTemporaryDir dir;
    const std::string file = dir.filePath("FLASH.ini").toStdString();
    {
        Settings settings(file);
        EXPECT_EQ(settings.keySetting("port"), "");
        settings.saveKeySetting("formwidth", formatNumber(5820));
        EXPECT_EQ(settings.portDevice(3), "/dev/ttyUSB0");
        EXPECT_EQ(settings.portDevice(5), "/dev/ttyACM0");
        EXPECT_EQ(settings.portDevice(10), "");
        settings.savePortDevice(3, "/dev/ttyUSB7");
        settings.overridePort(3, "/tmp/sim-pty");
        EXPECT_EQ(settings.portDevice(3), "/tmp/sim-pty");
        settings.sync();
    }
    Settings again(file);
    EXPECT_EQ(again.keySetting("formwidth"), " 5820");
    EXPECT_EQ(again.portDevice(3), "/dev/ttyUSB7") << "an override is never stored";
}

}  // namespace
}  // namespace ondo::testing
