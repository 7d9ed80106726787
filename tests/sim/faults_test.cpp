// Faults the simulated unit shows on request, so the host's handling of them can be tested: bad
// page answers, wrong identifications, vanishing, a damaged line, and the real line rate.

#include <gtest/gtest.h>

#include <bitset>
#include <chrono>
#include <filesystem>

#include "sim/port.h"
#include "support/sim_process.h"

namespace ondo::simtest {
namespace {

using ondo::testing::SimProcess;
using Clock = std::chrono::steady_clock;

// A simulator in its bootloader, exchange opened, through a rescue power-up.
struct OpenBootloader {
    explicit OpenBootloader(const std::vector<std::string>& options = {})
        : sim(options), port(sim.devicePath()) {}
    bool open(const std::string& id = ">AlaR") {
        if (!sim.started() || !port.quiet() || !sim.control("rescue")) return false;
        if (port.readCount(id.size()) != id) return false;
        port.send("<");
        return port.readCount(1) == "<";
    }
    std::string page(int number) {
        port.send(pageFrame(number, counting(64, number)));
        return port.readCount(1);
    }
    SimProcess sim;
    Port port;
};

TEST(PageFaults, GarbledAnswerStillStoresThePage) {
    OpenBootloader unit({"--garble-page", "2"});
    ASSERT_TRUE(unit.open());
    EXPECT_EQ(unit.page(1), "!");
    const std::string garbled = unit.page(2);
    ASSERT_EQ(garbled.size(), 1u);
    EXPECT_NE(garbled, "!");
    EXPECT_NE(garbled, "@");
    EXPECT_EQ(unit.page(2), "!");
    ASSERT_EQ(unit.sim.stop(), 0);
    const auto flash = unit.sim.flash();
    const auto data = counting(64, 2);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), flash.begin() + 2 * 64));
}

TEST(PageFaults, RejectedPageAsOftenAsAsked) {
    OpenBootloader unit({"--reject-page", "3:2"});
    ASSERT_TRUE(unit.open());
    EXPECT_EQ(unit.page(3), "@");
    EXPECT_EQ(unit.page(3), "@");
    ASSERT_TRUE(unit.sim.control("dump"));
    EXPECT_EQ(unit.sim.flash(), std::vector<std::uint8_t>(64 * 124, 0xFF));
    EXPECT_EQ(unit.page(3), "!");
    EXPECT_EQ(unit.page(4), "!");
}

TEST(PageFaults, AlwaysRejectedPageNeverGoesThrough) {
    OpenBootloader unit({"--reject-page", "0:always"});
    ASSERT_TRUE(unit.open());
    for (int attempt = 0; attempt < 12; ++attempt) EXPECT_EQ(unit.page(0), "@");
    EXPECT_EQ(unit.page(1), "!");
}

TEST(PageFaults, LateAnswerComesAfterItsDelay) {
    OpenBootloader unit({"--late-page", "1:700"});
    ASSERT_TRUE(unit.open());
    const auto start = Clock::now();
    unit.port.send(pageFrame(1, counting(64)));
    EXPECT_EQ(unit.port.readCount(1, 3s), "!");
    EXPECT_GE(Clock::now() - start, 700ms);
    EXPECT_EQ(unit.page(1), "!");  // late once only
}

TEST(IdentificationFaults, WrongIdentificationBeforeTheRightOne) {
    OpenBootloader unit({"--wrong-id", "alaR:2"});
    EXPECT_TRUE(unit.open(">alaR>alaR>AlaR"));
}

TEST(IdentificationFaults, NoIdentificationSendsThePromptAlone) {
    OpenBootloader unit({"--no-id"});
    ASSERT_TRUE(unit.open(">"));
    EXPECT_EQ(unit.page(0), "!");
}

TEST(Vanish, AtAPageTheDeviceHangsUpAndComesBackOnReplug) {
    OpenBootloader unit({"--vanish-at", "page:2"});
    ASSERT_TRUE(unit.open());
    EXPECT_EQ(unit.page(1), "!");
    unit.port.send(pageFrame(2, counting(64)));
    EXPECT_TRUE(unit.port.waitHangUp());
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(unit.sim.linkPath())));
    ASSERT_TRUE(unit.sim.control("replug"));
    Port again(unit.sim.linkPath());
    ASSERT_TRUE(again.quiet());
    ASSERT_EQ(unit.sim.stop(), 0);
    const auto flash = unit.sim.flash();
    EXPECT_EQ(flash[64], 1);         // page 1 was stored
    EXPECT_EQ(flash[2 * 64], 0xFF);  // page 2 was not
}

TEST(Vanish, AtAnEepromWriteNothingIsWritten) {
    SimProcess sim({"--vanish-at", "ee:0x0005"});
    ASSERT_TRUE(sim.started()) << sim.error();
    Port port(sim.devicePath());
    ASSERT_TRUE(port.quiet());
    port.send("e000411\r");
    ASSERT_NE(port.readUntil("E 0004\r\n").find("E 0004"), std::string::npos);
    port.send("e000522\r");
    EXPECT_TRUE(port.waitHangUp());
    ASSERT_EQ(sim.stop(), 0);
    EXPECT_EQ(sim.eeprom()[4], 0x11);
    EXPECT_EQ(sim.eeprom()[5], 0xFF);
}

TEST(Vanish, AtBootloaderEntry) {
    SimProcess sim({"--vanish-at", "boot"});
    ASSERT_TRUE(sim.started()) << sim.error();
    Port port(sim.devicePath());
    ASSERT_TRUE(port.quiet());
    port.send("b0024\r");
    EXPECT_TRUE(port.waitHangUp());
}

TEST(LineFaults, EveryByteFromTheUnitDamagedMeansNoGoodReply) {
    SimProcess sim({"--fault-rate", "1"});
    ASSERT_TRUE(sim.started()) << sim.error();
    Port port(sim.devicePath());
    port.send("tf\rv\r");
    const std::string seen = port.readFor(500ms);
    EXPECT_EQ(seen.find("V 0024"), std::string::npos);
    EXPECT_EQ(seen.find("tf"), std::string::npos);
}

TEST(LineFaults, DroppedHostBytesNeverReachTheUnit) {
    SimProcess sim({"--drop-rate", "1"});
    ASSERT_TRUE(sim.started()) << sim.error();
    Port port(sim.devicePath());
    port.send("tf\r");
    const std::string seen = port.readFor(500ms);
    EXPECT_EQ(seen.find("tf"), std::string::npos);
    EXPECT_NE(seen.find("\nD "), std::string::npos);  // still streaming: "tf" never arrived
    ASSERT_TRUE(sim.control("dump"));
    EXPECT_EQ(sim.stats()["bytes_from_host"], 3);
}

TEST(LineFaults, FlippedHostByteDiffersInExactlyOneBit) {
    SimProcess sim({"--flip-rate", "1", "--seed", "7"});
    ASSERT_TRUE(sim.started()) << sim.error();
    Port port(sim.devicePath());
    port.send(std::string(1, '\x01'));
    // The echo is the one byte that cannot belong to a reading.
    const std::string seen = port.readFor(400ms);
    std::string echo;
    for (const char c : seen) {
        if (std::string("\r\nD .0123456789").find(c) == std::string::npos) echo.push_back(c);
    }
    ASSERT_EQ(echo.size(), 1u) << seen;
    EXPECT_EQ(std::bitset<8>(static_cast<unsigned char>(echo[0]) ^ 0x01u).count(), 1u);
}

TEST(Pace, BytesTakeTheirTimeOnTheLine) {
    SimProcess sim({"--pace", "--type", "XobS"});
    ASSERT_TRUE(sim.started()) << sim.error();
    Port port(sim.devicePath());
    ASSERT_TRUE(port.quiet());
    ASSERT_TRUE(sim.control("rescue"));
    ASSERT_EQ(port.readCount(5), ">XobS");
    port.send("<");
    ASSERT_EQ(port.readCount(1), "<");
    const auto frame = pageFrame(0, counting(256));
    const auto start = Clock::now();
    port.send(frame);
    EXPECT_EQ(port.readCount(1), "!");
    // 259 bytes in and one out at 520.8 us each: at least 135 ms however fast the machine.
    EXPECT_GE(Clock::now() - start, 130ms);
}

}  // namespace
}  // namespace ondo::simtest
