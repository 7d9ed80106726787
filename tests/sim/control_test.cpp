// What the person at the bench does to the unit through the control FIFO: power it up with or
// without the rescue jumper, unplug and replug it, take dumps; and how the process ends.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "sim/port.h"
#include "support/sim_process.h"

namespace ondo::simtest {
namespace {

using ondo::testing::SimProcess;

TEST(ControlPower, RescueStartsTheBootloaderWithoutAnyCommand) {
    SimProcess sim;
    ASSERT_TRUE(sim.started()) << sim.error();
    Port port(sim.devicePath());
    ASSERT_TRUE(port.quiet());
    ASSERT_TRUE(sim.control("rescue"));
    EXPECT_EQ(port.readCount(5), ">AlaR");
    port.send("<");
    EXPECT_EQ(port.readCount(1), "<");
    port.send(pageFrame(1, counting(64, 9)));
    EXPECT_EQ(port.readCount(1), "!");
}

TEST(ControlPower, RescueInTheMiddleOfAFrameStartsAfresh) {
    SimProcess sim;
    ASSERT_TRUE(sim.started()) << sim.error();
    Port port(sim.devicePath());
    ASSERT_TRUE(port.quiet());
    ASSERT_TRUE(sim.control("rescue"));
    ASSERT_EQ(port.readCount(5), ">AlaR");
    port.send("<");
    ASSERT_EQ(port.readCount(1), "<");
    const auto frame = pageFrame(3, counting(64, 0x40));  // no "<" (0x3C) among the data
    port.send(std::vector<std::uint8_t>(frame.begin(), frame.begin() + 30));
    ASSERT_TRUE(sim.control("rescue"));
    EXPECT_EQ(port.readCount(5), ">AlaR");
    port.send(frame);  // not opened yet: ignored
    EXPECT_EQ(port.readFor(300ms), "");
    port.send("<");
    EXPECT_EQ(port.readCount(1), "<");
    port.send(frame);
    EXPECT_EQ(port.readCount(1), "!");
}

TEST(ControlPower, PowerCycleReturnsToTheStreamingMonitor) {
    SimProcess sim;
    ASSERT_TRUE(sim.started()) << sim.error();
    Port port(sim.devicePath());
    ASSERT_TRUE(port.quiet());
    ASSERT_TRUE(sim.control("rescue"));
    ASSERT_EQ(port.readCount(5), ">AlaR");
    ASSERT_TRUE(sim.control("power"));
    const std::string reading = port.readUntil("\r\n");
    EXPECT_EQ(reading.substr(0, 3), "\nD ") << reading;
    ASSERT_TRUE(port.quiet());
    port.send("v\r");
    EXPECT_EQ(port.readCount(11), "v\r\nV 0024\r\n");
}

TEST(ControlPlug, UnplugHangsUpAndRemovesTheLinkReplugOffersANewDevice) {
    SimProcess sim;
    ASSERT_TRUE(sim.started()) << sim.error();
    const std::string first = sim.devicePath();
    EXPECT_EQ(std::filesystem::read_symlink(sim.linkPath()).string(), first);
    Port port(sim.linkPath());
    ASSERT_TRUE(port.quiet());
    ASSERT_TRUE(sim.control("unplug"));
    EXPECT_TRUE(port.waitHangUp());
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(sim.linkPath())));
    ASSERT_TRUE(sim.control("replug"));
    const std::string second = sim.devicePath();
    EXPECT_EQ(std::filesystem::read_symlink(sim.linkPath()).string(), second);
    Port again(sim.linkPath());
    ASSERT_TRUE(again.quiet());
    again.send("v\r");
    EXPECT_EQ(again.readCount(11), "v\r\nV 0024\r\n");
}

TEST(ControlPlug, NothingIsHeldForAHostThatHasThePortClosed) {
    SimProcess sim;
    ASSERT_TRUE(sim.started()) << sim.error();
    ::usleep(400 * 1000);  // readings are due meanwhile, but nobody listens
    ASSERT_TRUE(sim.control("rescue"));
    ::usleep(400 * 1000);  // the identification goes out to nobody
    Port port(sim.devicePath());
    EXPECT_EQ(port.readFor(50ms).find(">AlaR"), std::string::npos);
}

TEST(ControlDump, DumpWritesFilesWhileRunningAndStopWritesThemAgain) {
    SimProcess sim;
    ASSERT_TRUE(sim.started()) << sim.error();
    Port port(sim.devicePath());
    ASSERT_TRUE(port.quiet());
    ASSERT_TRUE(sim.control("dump"));
    EXPECT_EQ(sim.eeprom(), std::vector<std::uint8_t>(512, 0xFF));
    EXPECT_EQ(sim.flash(), std::vector<std::uint8_t>(64 * 124, 0xFF));
    port.send("e000101\r");
    ASSERT_NE(port.readUntil("E 0001\r\n").find("E 0001"), std::string::npos);
    EXPECT_TRUE(sim.running());
    EXPECT_EQ(sim.eeprom()[1], 0xFF);  // the earlier dump is left as it was
    ASSERT_EQ(sim.stop(), 0);
    EXPECT_EQ(sim.eeprom()[1], 0x01);
}

TEST(ControlDump, StatsCountTheBytesBothWays) {
    SimProcess sim({"--silent"});
    ASSERT_TRUE(sim.started()) << sim.error();
    Port port(sim.devicePath());
    port.send("v\rm0\r");
    ASSERT_EQ(port.readFor(200ms), "");
    ASSERT_TRUE(sim.control("dump"));
    EXPECT_EQ(sim.stats()["bytes_from_host"], 5);
    EXPECT_EQ(sim.stats()["bytes_to_host"], 0);

    SimProcess talking;
    ASSERT_TRUE(talking.started()) << talking.error();
    Port other(talking.devicePath());
    ASSERT_TRUE(other.quiet());
    ::usleep(100 * 1000);
    ASSERT_TRUE(talking.control("dump"));
    const auto before = talking.stats();
    other.send("v\r");
    ASSERT_EQ(other.readCount(11), "v\r\nV 0024\r\n");
    ASSERT_EQ(talking.stop(), 0);
    const auto after = talking.stats();
    EXPECT_EQ(after.at("bytes_from_host") - before.at("bytes_from_host"), 2);
    EXPECT_EQ(after.at("bytes_to_host") - before.at("bytes_to_host"), 11);
}

TEST(ControlLifetime, QuitEndsTheProcessWithItsDumps) {
    SimProcess sim;
    ASSERT_TRUE(sim.started()) << sim.error();
    ASSERT_TRUE(sim.control("quit"));
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_EQ(sim.eeprom().size(), 512u);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(sim.linkPath())));
}

TEST(ControlLifetime, FirstLineOnStandardOutputIsTheDeviceAndTheLinkIsThereByThen) {
    const std::filesystem::path folder = ::testing::TempDir() + "sim-stdout";
    std::filesystem::create_directories(folder);
    const std::string link = (folder / "unit").string();
    const std::string fifo = (folder / "control").string();
    const std::string command =
        std::string("exec ") + ONDO_SIM_PATH + " --link " + link + " --control " + fifo;
    FILE* out = ::popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    char line[256] = {};
    const bool got = std::fgets(line, sizeof line, out) != nullptr;
    const bool linked = std::filesystem::is_symlink(link);
    const std::string target = linked ? std::filesystem::read_symlink(link).string() : "";
    if (FILE* control = std::fopen(fifo.c_str(), "w")) {
        std::fputs("quit\n", control);
        std::fclose(control);
    }
    EXPECT_EQ(::pclose(out), 0);
    std::filesystem::remove_all(folder);
    ASSERT_TRUE(got);
    EXPECT_TRUE(linked);
    EXPECT_EQ(target + "\n", line);
}

TEST(ControlLifetime, UnknownCommandIsRefusedAndTheUnitCarriesOn) {
    SimProcess sim;
    ASSERT_TRUE(sim.started()) << sim.error();
    EXPECT_FALSE(sim.control("switch-off"));
    EXPECT_TRUE(sim.control("dump"));
    EXPECT_TRUE(sim.running());
}

}  // namespace
}  // namespace ondo::simtest
