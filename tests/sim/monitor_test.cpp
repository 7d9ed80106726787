// The running firmware's monitor as the host meets it on the line: echo, reply lines, readings,
// EEPROM commands and error replies.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <regex>

#include "sim/port.h"
#include "support/sim_process.h"

namespace ondo::simtest {
namespace {

using ondo::testing::SimProcess;

const std::regex kReading(R"(\nD \d+\.\d\d \d\.\d{3} \d{4}\r\n)");

// A started simulator with the host's port open and the readings stopped.
struct QuietUnit {
    explicit QuietUnit(const std::vector<std::string>& options = {})
        : sim(options), port(sim.devicePath()) {}
    bool ready() { return sim.started() && port.isOpen() && port.quiet(); }
    // One command and everything the unit answers up to the end of its reply line.
    std::string ask(const std::string& command) {
        port.send(command + "\r");
        const std::string echo = port.readUntil(command + "\r");
        return echo + port.readUntil("\r\n");
    }
    SimProcess sim;
    Port port;
};

TEST(MonitorExchange, VersionQueryIsEchoThenOneReplyLine) {
    QuietUnit unit;
    ASSERT_TRUE(unit.ready()) << unit.sim.error();
    unit.port.send("v\r");
    EXPECT_EQ(unit.port.readCount(11), "v\r\nV 0024\r\n");
    EXPECT_EQ(unit.port.readFor(200ms), "");
}

TEST(MonitorExchange, LineFeedFromTheHostIsIgnored) {
    QuietUnit unit;
    ASSERT_TRUE(unit.ready()) << unit.sim.error();
    unit.port.send("\nv\r\n");
    EXPECT_EQ(unit.port.readCount(11), "v\r\nV 0024\r\n");
    EXPECT_EQ(unit.port.readFor(200ms), "");
}

TEST(MonitorExchange, VersionTextIsSentAsGiven) {
    QuietUnit lower({"--version", "00a3"});
    ASSERT_TRUE(lower.ready()) << lower.sim.error();
    EXPECT_EQ(lower.ask("v"), "v\r\nV 00a3\r\n");
    QuietUnit shorter({"--version", "22"});
    ASSERT_TRUE(shorter.ready()) << shorter.sim.error();
    EXPECT_EQ(shorter.ask("v"), "v\r\nV 22\r\n");
}

TEST(MonitorExchange, ModeCommandsAreConfirmed) {
    QuietUnit unit;
    ASSERT_TRUE(unit.ready()) << unit.sim.error();
    EXPECT_EQ(unit.ask("m0"), "m0\r\nM 0\r\n");
    EXPECT_EQ(unit.ask("m1"), "m1\r\nM 1\r\n");
}

TEST(MonitorExchange, BareCarriageReturnIsEchoedWithoutReply) {
    QuietUnit unit;
    ASSERT_TRUE(unit.ready()) << unit.sim.error();
    unit.port.send("\r");
    EXPECT_EQ(unit.port.readFor(300ms), "\r");
}

TEST(MonitorExchange, ReplyDelayHoldsTheReplyButNotTheEcho) {
    QuietUnit unit({"--reply-delay", "400"});
    ASSERT_TRUE(unit.ready()) << unit.sim.error();
    const auto start = std::chrono::steady_clock::now();
    unit.port.send("v\r");
    EXPECT_EQ(unit.port.readCount(2), "v\r");
    EXPECT_EQ(unit.port.readUntil("\r\n"), "\nV 0024\r\n");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 400ms);
}

TEST(MonitorExchange, SilentUnitSendsNothing) {
    SimProcess sim({"--silent"});
    ASSERT_TRUE(sim.started()) << sim.error();
    Port port(sim.devicePath());
    port.send("v\r");
    EXPECT_EQ(port.readFor(500ms), "");
}

TEST(MonitorReadings, StreamAtPowerUpStopOnTfAndResumeOnT1) {
    SimProcess sim;
    ASSERT_TRUE(sim.started()) << sim.error();
    Port port(sim.linkPath());
    ASSERT_TRUE(port.isOpen());
    const std::string streamed = port.readFor(450ms);
    const auto lines = std::distance(
        std::sregex_iterator(streamed.begin(), streamed.end(), kReading), std::sregex_iterator());
    EXPECT_GE(lines, 2) << streamed;
    ASSERT_TRUE(port.quiet());
    EXPECT_EQ(port.readFor(400ms), "");
    port.send("t1\r");
    EXPECT_EQ(port.readUntil("t1\r"), "t1\r");
    EXPECT_EQ(port.readUntil("\r\n"), "\nT 1\r\n");
    const std::string resumed = port.readUntil("\r\n", 2s);
    EXPECT_TRUE(std::regex_match(resumed, kReading)) << resumed;
}

TEST(MonitorEeprom, WrittenByteReadsBackAndLandsInTheDump) {
    QuietUnit unit;
    ASSERT_TRUE(unit.ready()) << unit.sim.error();
    EXPECT_EQ(unit.ask("e01FFA0"), "e01FFA0\r\nE 01FF\r\n");
    EXPECT_EQ(unit.ask("e001205"), "e001205\r\nE 0012\r\n");
    EXPECT_EQ(unit.ask("a01FF"), "a01FF\r\nA 00A0\r\n");
    EXPECT_EQ(unit.ask("a0012"), "a0012\r\nA 0005\r\n");
    EXPECT_EQ(unit.ask("a0000"), "a0000\r\nA 00FF\r\n");
    ASSERT_TRUE(unit.sim.control("dump"));
    std::vector<std::uint8_t> expected(512, 0xFF);
    expected[0x1FF] = 0xA0;
    expected[0x12] = 0x05;
    EXPECT_EQ(unit.sim.eeprom(), expected);
    EXPECT_EQ(unit.sim.stats()["eeprom_writes"], 2);
}

TEST(MonitorEeprom, SizeFollowsTheUnitType) {
    QuietUnit small;
    ASSERT_TRUE(small.ready()) << small.sim.error();
    EXPECT_EQ(small.ask("a01FF"), "a01FF\r\nA 00FF\r\n");
    EXPECT_EQ(small.ask("a0200"), "a0200\r\n? ERR\r\n");
    QuietUnit large({"--type", "XobS"});
    ASSERT_TRUE(large.ready()) << large.sim.error();
    EXPECT_EQ(large.ask("e07FF3C"), "e07FF3C\r\nE 07FF\r\n");
    EXPECT_EQ(large.ask("a0800"), "a0800\r\n? ERR\r\n");
    ASSERT_EQ(large.sim.stop(), 0);
    EXPECT_EQ(large.sim.eeprom().size(), 2048u);
    EXPECT_EQ(large.sim.eeprom()[0x7FF], 0x3C);
}

TEST(MonitorEeprom, InitialContentFromFile) {
    const std::string path = ::testing::TempDir() + "ee-init.bin";
    {
        FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fputs("\x12\x34", file);
        std::fclose(file);
    }
    QuietUnit unit({"--ee-init", path});
    ASSERT_TRUE(unit.ready()) << unit.sim.error();
    EXPECT_EQ(unit.ask("a0001"), "a0001\r\nA 0034\r\n");
    EXPECT_EQ(unit.ask("a0002"), "a0002\r\nA 00FF\r\n");
    std::remove(path.c_str());
}

TEST(MonitorErrors, MalformedAndUnknownCommandsGetTheErrorReply) {
    QuietUnit unit;
    ASSERT_TRUE(unit.ready()) << unit.sim.error();
    for (const std::string command :
         {"x", "V", "e000aFF", "e00", "e0001FFF", "a12", "a00G0", "b0023", "b", "t2", "m"}) {
        EXPECT_EQ(unit.ask(command), command + "\r\n? ERR\r\n") << command;
    }
    ASSERT_TRUE(unit.sim.control("dump"));
    EXPECT_EQ(unit.sim.eeprom(), std::vector<std::uint8_t>(512, 0xFF));
}

TEST(MonitorErrors, OverlongCommandGetsTheErrorReply) {
    QuietUnit unit;
    ASSERT_TRUE(unit.ready()) << unit.sim.error();
    const std::string command = "v" + std::string(60, ' ');
    EXPECT_EQ(unit.ask(command), command + "\r\n? ERR\r\n");
    EXPECT_EQ(unit.ask("v"), "v\r\nV 0024\r\n");
}

TEST(MonitorFaults, LowerHexRepliesInLowerCase) {
    QuietUnit unit({"--lower-hex"});
    ASSERT_TRUE(unit.ready()) << unit.sim.error();
    EXPECT_EQ(unit.ask("e000AA5"), "e000AA5\r\ne 000a\r\n");
    EXPECT_EQ(unit.ask("a000A"), "a000A\r\na 00a5\r\n");
}

TEST(MonitorFaults, EeLowerOnlyAtTheChosenAddress) {
    QuietUnit unit({"--ee-lower", "0x000A"});
    ASSERT_TRUE(unit.ready()) << unit.sim.error();
    EXPECT_EQ(unit.ask("e000A01"), "e000A01\r\ne 000a\r\n");
    EXPECT_EQ(unit.ask("e000B02"), "e000B02\r\nE 000B\r\n");
    EXPECT_EQ(unit.ask("a000A"), "a000A\r\nA 0001\r\n");
}

TEST(MonitorFaults, EeWrongReadOnlyAsOftenAsAsked) {
    QuietUnit unit({"--ee-wrong-read", "0x10:2"});
    ASSERT_TRUE(unit.ready()) << unit.sim.error();
    EXPECT_EQ(unit.ask("e001077"), "e001077\r\nE 0010\r\n");
    EXPECT_NE(unit.ask("a0010"), "a0010\r\nA 0077\r\n");
    EXPECT_NE(unit.ask("a0010"), "a0010\r\nA 0077\r\n");
    EXPECT_EQ(unit.ask("a0010"), "a0010\r\nA 0077\r\n");
    EXPECT_EQ(unit.ask("a0011"), "a0011\r\nA 00FF\r\n");
}

}  // namespace
}  // namespace ondo::simtest
