// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated unit's own conformance table, written apart from the engine's code so that it
// stays a second opinion: bytes in from the host (or a control command) -> bytes out, exactly.

#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <thread>

#include "protocol/bootloader.h"
#include "protocol/monitor.h"
#include "sim/adapter.h"
#include "support/line.h"
#include "support/sim_process.h"

namespace ondo::testing {
namespace {

struct Conformance {
    const char* name;
    const char* options;
    // What is sent, then exactly the bytes next on the line. "@command":
    // a control command instead; "@quiet": after a restart the readings stop again.
    std::vector<std::pair<std::string, std::string>> steps;
    std::map<std::string, long long> stats = {};  // the counters afterwards
};
void PrintTo(const Conformance& c, std::ostream* out) {
    *out << c.name;
}
class SimulatedUnit : public ::testing::TestWithParam<Conformance> {};

TEST_P(SimulatedUnit, AnswersByteForByte) {
    const Conformance& c = GetParam();
    std::istringstream words(c.options);
    SimProcess sim(std::vector<std::string>{std::istream_iterator<std::string>(words), {}});
    ASSERT_TRUE(sim.started()) << sim.error();
    Line line(sim.linkPath());
    ASSERT_TRUE(line.quiet());
    for (const auto& [send, expect] : c.steps) {
        if (send == "@quiet") {
            std::this_thread::sleep_for(400ms);
            ASSERT_TRUE(line.quiet());
        } else if (send[0] == '@') {
            ASSERT_TRUE(sim.control(send.substr(1)));
        } else {
            line.send(send);
        }
        EXPECT_EQ(line.readCount(expect.size(), 3s), expect) << "after sending " << send;
    }
    EXPECT_EQ(line.readFor(150ms), "") << "nothing more";
    ASSERT_EQ(sim.stop(), 0);
    const auto stats = sim.stats();
    for (const auto& [key, value] : c.stats) EXPECT_EQ(stats.at(key), value) << key;
}

// What the host sends, as the engine's protocol layer builds it; what the unit answers is written
// out here byte for byte.
std::string command(const std::string& text) {
    return text + monitor::kCommandEnd;
}
std::string frame(int page, int first = 0) {
    const std::string data = counting(64, first);
    const auto bytes = bootloader::pageFrame(
        page, {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()});
    return {bytes.begin(), bytes.end()};
}
std::string endWord(int word) {
    const auto bytes = bootloader::endWord(word);
    return {bytes.begin(), bytes.end()};
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, SimulatedUnit,
    ::testing::Values(
        Conformance{"MonitorCommands",
                    "",
                    {{command(monitor::version()), "v\r\nV 0024\r\n"},
                     {"\nm0\r\n", "m0\r\nM 0\r\n"},
                     {command(monitor::mode1()), "m1\r\nM 1\r\n"},
                     {command(monitor::startReadings()), "t1\r\nT 1\r\n\nD "},
                     {"@quiet", ""},
                     {"\r", "\r"},
                     {command(monitor::writeByte(0x1FF, 0xA0)), "e01FFA0\r\nE 01FF\r\n"},
                     {command(monitor::readByte(0x1FF)), "a01FF\r\nA 00A0\r\n"},
                     {command(monitor::readByte(0)), "a0000\r\nA 00FF\r\n"},
                     {command(monitor::readByte(0x200)), "a0200\r\n? ERR\r\n"},
                     {command(monitor::enterBootloader("0023")), "b0023\r\n? ERR\r\n"}},
                    {{"eeprom_writes", 1}}},
        Conformance{"BootloaderByCommandPagesAndRestart",
                    "--restart-ms 200",
                    {{command(monitor::enterBootloader("0024")), "b0024\r>AlaR"},
                     {"xyz\r", ""},
                     {std::string(1, char(bootloader::openExchange())), "<"},
                     {frame(1, 1), "!"},
                     {frame(2).substr(0, 66) + "\x01", "@"},
                     {frame(124), "@"},
                     {frame(123), "!"},
                     {endWord(0x03FF), ""},
                     {"@quiet", ""},
                     {command(monitor::version()), "v\r\nV 0024\r\n"}},
                    {{"boot_entries", 1},
                     {"pages_stored", 2},
                     {"pages_rejected", 2},
                     {"restarts", 1},
                     {"end_word", 0x03FF}}}),
    [](const auto& info) { return std::string(info.param.name); });

// The modelled USB adapter on the unit's line: bytes off the line (how many, from when, one
// every how long) leave in packets when 62 are held or when the latency timer runs out; 520 us
// is one byte's time on the line at 19,200 bit/s.
struct Packets {
    const char* name;
    std::chrono::milliseconds latency;
    int count;
    std::chrono::microseconds gap;
    std::vector<std::pair<std::size_t, long>> out;  // bytes, microseconds at which they leave
};
void PrintTo(const Packets& c, std::ostream* out) {
    *out << c.name;
}
class AdapterPackets : public ::testing::TestWithParam<Packets> {};

TEST_P(AdapterPackets, LeaveWhenFullOrWhenTheTimerRunsOut) {
    const Packets& c = GetParam();
    sim::Adapter adapter(c.latency);
    for (int i = 0; i < c.count; ++i)
        adapter.put(static_cast<std::uint8_t>(i), sim::TimePoint{} + i * c.gap);
    std::vector<std::pair<std::size_t, long>> got;
    std::string bytes;
    while (const auto due = adapter.nextDeparture()) {
        ASSERT_EQ(adapter.take(*due - 1ns), "") << "a packet left before its time";
        bytes += adapter.take(*due);
        got.emplace_back(
            bytes.size(),
            std::chrono::duration_cast<std::chrono::microseconds>(due->time_since_epoch()).count());
    }
    EXPECT_EQ(got, c.out) << "bytes so far, and when";
    ASSERT_EQ(bytes.size(), static_cast<std::size_t>(c.count));
    for (int i = 0; i < c.count; ++i) EXPECT_EQ(bytes[i], static_cast<char>(i)) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Sim, AdapterPackets,
    ::testing::Values(
        Packets{"ByteAtTheTimersEndStartsTheNext", 16ms, 2, 16000us, {{1, 16000}, {2, 32000}}},
        Packets{"SixtySecondByteSendsAtOnce", 16ms, 63, 0us, {{62, 0}, {63, 16000}}},
        Packets{"NoTimerPassesEachByteAsItComes", 0ms, 3, 520us, {{1, 0}, {2, 520}, {3, 1040}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ondo::testing
