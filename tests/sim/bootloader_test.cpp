// The bootloader as the host meets it: entry, identification, opening, page frames and their
// answers, the stall rule, the end word and the restart into the monitor.

#include <gtest/gtest.h>

#include <chrono>

#include "sim/port.h"
#include "support/sim_process.h"

namespace ondo::simtest {
namespace {

using ondo::testing::SimProcess;

// A simulator with the host's port open, switched into its bootloader by command.
struct BootedUnit {
    explicit BootedUnit(std::vector<std::string> options = {}, const std::string& version = "0024")
        : sim(options), port(sim.devicePath()), version(version) {}
    // Enters the bootloader and returns everything from the echo to the identification.
    std::string enter(std::size_t idLength = 4) {
        if (!sim.started() || !port.isOpen() || !port.quiet()) return "not started";
        port.send("b" + version + "\r");
        std::string seen = port.readUntil(">");
        return seen + port.readCount(idLength);
    }
    // Enters and opens the exchange; true when all went as it should.
    bool open() {
        if (enter() != "b" + version + "\r>AlaR") return false;
        port.send("<");
        return port.readCount(1) == "<";
    }
    SimProcess sim;
    Port port;
    std::string version;
};

std::vector<std::uint8_t> erased(std::size_t size) {
    return std::vector<std::uint8_t>(size, 0xFF);
}

TEST(BootloaderEntry, CommandWithVersionAnnouncesPromptAndIdentification) {
    BootedUnit unit;
    EXPECT_EQ(unit.enter(), "b0024\r>AlaR");
    EXPECT_EQ(unit.port.readFor(300ms), "");
    ASSERT_EQ(unit.sim.stop(), 0);
    EXPECT_EQ(unit.sim.stats()["boot_entries"], 1);
}

TEST(BootloaderEntry, CommandUsesTheUnitsOwnVersionText) {
    BootedUnit unit({"--version", "0031"}, "0031");
    EXPECT_EQ(unit.enter(), "b0031\r>AlaR");
}

TEST(BootloaderEntry, IdentificationFollowsTheType) {
    for (const char* type : {"NmaS", "BmaS", "EnbS", "XobS"}) {
        BootedUnit unit({"--type", type});
        EXPECT_EQ(unit.enter(), std::string("b0024\r>") + type);
    }
}

TEST(BootloaderEntry, UnknownTypeIsRefused) {
    SimProcess sim({"--type", "alaR"});
    EXPECT_FALSE(sim.started());
    EXPECT_EQ(sim.stop(), 2);
}

TEST(BootloaderExchange, OpeningIsAnsweredWithOneByteAndOtherBytesIgnored) {
    BootedUnit unit;
    ASSERT_EQ(unit.enter(), "b0024\r>AlaR");
    unit.port.send("xyz\r");
    EXPECT_EQ(unit.port.readFor(200ms), "");
    unit.port.send("<");
    EXPECT_EQ(unit.port.readCount(1), "<");
    EXPECT_EQ(unit.port.readFor(200ms), "");
}

TEST(BootloaderExchange, GoodFrameIsAcknowledgedAndStored) {
    BootedUnit unit;
    ASSERT_TRUE(unit.open());
    const auto data = counting(64);
    unit.port.send(pageFrame(5, data));
    EXPECT_EQ(unit.port.readCount(1), "!");
    ASSERT_EQ(unit.sim.stop(), 0);
    auto expected = erased(64 * 124);
    std::copy(data.begin(), data.end(), expected.begin() + 5 * 64);
    EXPECT_EQ(unit.sim.flash(), expected);
    EXPECT_EQ(unit.sim.stats()["pages_stored"], 1);
}

TEST(BootloaderExchange, FramesCarryingTheLineControlBytesAreTakenAsData) {
    BootedUnit unit({"--type", "XobS"});
    ASSERT_EQ(unit.enter(), "b0024\r>XobS");
    unit.port.send("<");
    ASSERT_EQ(unit.port.readCount(1), "<");
    const auto data = counting(256, 0x11);  // XON, XOFF, CR, LF and 0x00 all appear
    unit.port.send(pageFrame(251, data));
    EXPECT_EQ(unit.port.readCount(1), "!");
    ASSERT_EQ(unit.sim.stop(), 0);
    const auto flash = unit.sim.flash();
    ASSERT_EQ(flash.size(), 256u * 252u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), flash.begin() + 251 * 256));
}

TEST(BootloaderExchange, BadSumIsAnsweredAtAndNothingStored) {
    BootedUnit unit;
    ASSERT_TRUE(unit.open());
    auto frame = pageFrame(2, counting(64));
    frame.back() ^= 0x01;
    unit.port.send(frame);
    EXPECT_EQ(unit.port.readCount(1), "@");
    ASSERT_EQ(unit.sim.stop(), 0);
    EXPECT_EQ(unit.sim.flash(), erased(64 * 124));
    EXPECT_EQ(unit.sim.stats()["pages_rejected"], 1);
}

TEST(BootloaderExchange, PageBeyondTheLastIsAnsweredAt) {
    BootedUnit unit;
    ASSERT_TRUE(unit.open());
    unit.port.send(pageFrame(124, counting(64)));
    EXPECT_EQ(unit.port.readCount(1), "@");
    unit.port.send(pageFrame(123, counting(64)));
    EXPECT_EQ(unit.port.readCount(1), "!");
}

TEST(BootloaderExchange, StalledFrameIsDroppedWithoutAnswer) {
    BootedUnit unit;
    ASSERT_TRUE(unit.open());
    const auto frame = pageFrame(7, counting(64));
    unit.port.send(std::vector<std::uint8_t>(frame.begin(), frame.begin() + 20));
    EXPECT_EQ(unit.port.readFor(500ms), "");
    unit.port.send(frame);
    EXPECT_EQ(unit.port.readCount(1), "!");
    EXPECT_EQ(unit.port.readFor(300ms), "");
    ASSERT_EQ(unit.sim.stop(), 0);
    EXPECT_EQ(unit.sim.stats()["pages_stored"], 1);
    EXPECT_EQ(unit.sim.stats()["pages_rejected"], 0);
}

TEST(BootloaderExchange, EndWordRestartsIntoTheStreamingMonitor) {
    BootedUnit unit({"--restart-ms", "300"});
    ASSERT_TRUE(unit.open());
    unit.port.send(pageFrame(0, counting(64)));
    ASSERT_EQ(unit.port.readCount(1), "!");
    unit.port.send(std::string("\x03\xFF", 2));
    const std::string reading = unit.port.readUntil("\r\n", 3s);
    EXPECT_EQ(reading.substr(0, 3), "\nD ") << reading;
    ASSERT_TRUE(unit.port.quiet());
    unit.port.send("v\r");
    EXPECT_EQ(unit.port.readCount(11), "v\r\nV 0024\r\n");
    ASSERT_EQ(unit.sim.stop(), 0);
    const auto stats = unit.sim.stats();
    EXPECT_EQ(stats.at("restarts"), 1);
    EXPECT_EQ(stats.at("restart_ms"), 300);
    EXPECT_EQ(stats.at("end_word"), 0x03FF);
    auto expected = erased(64 * 124);
    const auto data = counting(64);
    std::copy(data.begin(), data.end(), expected.begin());
    EXPECT_EQ(unit.sim.flash(), expected);
}

TEST(BootloaderExchange, RestartKeepsTheEeprom) {
    BootedUnit unit({"--restart-ms", "100"});
    ASSERT_TRUE(unit.sim.started() && unit.port.quiet());
    unit.port.send("e0003C4\r");
    ASSERT_EQ(unit.port.readUntil("E 0003\r\n").substr(0, 7), "e0003C4");
    ASSERT_TRUE(unit.open());
    unit.port.send(std::string("\x03\xFF", 2));
    unit.port.readUntil("\r\n", 3s);
    ASSERT_TRUE(unit.port.quiet());
    unit.port.send("a0003\r");
    EXPECT_EQ(unit.port.readCount(15), "a0003\r\nA 00C4\r\n");
}

}  // namespace
}  // namespace ondo::simtest
