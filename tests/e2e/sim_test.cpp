// The simulated unit's own conformance table, written apart from the engine's code so that it
// stays a second opinion: bytes in from the host (or a control command) -> bytes out, exactly.

#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <thread>

#include "sim/adapter.h"
#include "support/line.h"
#include "support/sim_process.h"

namespace ondo::testing {
namespace {

struct Step {
    std::string send;    // "@" first: a control command instead ("@rescue")
    std::string expect;  // exactly these bytes, next on the line; "#" stands for any one byte
};
struct Conformance {
    const char* name;
    const char* options;
    std::vector<Step> steps;
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
    if (!std::string(c.options).starts_with("--silent")) {
        ASSERT_TRUE(line.quiet());
    }
    for (const Step& step : c.steps) {
        if (step.send == "@quiet") {  // after a restart: the readings stopped again
            std::this_thread::sleep_for(400ms);
            ASSERT_TRUE(line.quiet());
        } else if (step.send[0] == '@') {
            ASSERT_TRUE(sim.control(step.send.substr(1)));
        } else {
            line.send(step.send);
        }
        if (step.expect == "hang-up") {
            EXPECT_TRUE(line.waitHangUp());
            continue;
        }
        std::string got = line.readCount(step.expect.size(), 3s);
        for (std::size_t i = 0; i < got.size() && i < step.expect.size(); ++i)
            if (step.expect[i] == '#') got[i] = '#';
        EXPECT_EQ(got, step.expect) << "after sending " << step.send;
    }
    EXPECT_EQ(line.readFor(150ms), "") << "nothing more";
    ASSERT_EQ(sim.stop(), 0);
    const auto stats = sim.stats();
    for (const auto& [key, value] : c.stats) EXPECT_EQ(stats.at(key), value) << key;
}

const std::string kPage1 = pageFrame(1, counting(64, 1));
const Step kRescue{"@rescue", ">AlaR"}, kOpen{"<", "<"};

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, SimulatedUnit,
    ::testing::Values(
        Conformance{
            "MonitorCommands",
            "",
            {{"v\r", "v\r\nV 0024\r\n"},
             {"\nm0\r\n", "m0\r\nM 0\r\n"},
             {"m1\r", "m1\r\nM 1\r\n"},
             {"t1\r", "t1\r\nT 1\r\n\nD "},
             {"@quiet", ""},
             {"\r", "\r"},
             {"e01FFA0\r", "e01FFA0\r\nE 01FF\r\n"},
             {"a01FF\r", "a01FF\r\nA 00A0\r\n"},
             {"a0000\r", "a0000\r\nA 00FF\r\n"},
             {"a0200\r", "a0200\r\n? ERR\r\n"},
             {"e000aFF\r", "e000aFF\r\n? ERR\r\n"},
             {"b0023\r", "b0023\r\n? ERR\r\n"},
             {"x\r", "x\r\n? ERR\r\n"},
             {"t2\r", "t2\r\n? ERR\r\n"},
             {"v" + std::string(40, ' ') + "\r", "v" + std::string(40, ' ') + "\r\n? ERR\r\n"}},
            {{"eeprom_writes", 1}}},
        Conformance{"VersionTextAsGivenAndLargerEeprom",
                    "--version 00a3 --type XobS",
                    {{"v\r", "v\r\nV 00a3\r\n"},
                     {"e07FF3C\r", "e07FF3C\r\nE 07FF\r\n"},
                     {"a0800\r", "a0800\r\n? ERR\r\n"}}},
        Conformance{"BootloaderByCommandPagesAndRestart",
                    "--restart-ms 200",
                    {{"b0024\r", "b0024\r>AlaR"},
                     {"xyz\r", ""},
                     kOpen,
                     {kPage1, "!"},
                     {pageFrame(2, counting(64)).substr(0, 66) + "\x01", "@"},
                     {pageFrame(124, counting(64)), "@"},
                     {pageFrame(123, counting(64)), "!"},
                     {"\x03\xFF", ""},
                     {"@quiet", ""},
                     {"v\r", "v\r\nV 0024\r\n"}},
                    {{"boot_entries", 1},
                     {"pages_stored", 2},
                     {"pages_rejected", 2},
                     {"restarts", 1},
                     {"end_word", 0x03FF}}},
        Conformance{"RescueAndPowerCycle",
                    "--type XobS",
                    {{"@rescue", ">XobS"}, kOpen, {pageFrame(251, counting(256, 0x11)), "!"}}},
        Conformance{"LowerCaseFaults",
                    "--lower-hex",
                    {{"e000AA5\r", "e000AA5\r\ne 000a\r\n"}, {"a000A\r", "a000A\r\na 00a5\r\n"}}},
        Conformance{"EepromFaultsAtChosenAddresses",
                    "--ee-lower 0x000A --ee-wrong-read 0x10:2",
                    {{"e000A01\r", "e000A01\r\ne 000a\r\n"},
                     {"e000B02\r", "e000B02\r\nE 000B\r\n"},
                     {"e001077\r", "e001077\r\nE 0010\r\n"},
                     {"a0010\r", "a0010\r\nA 0076\r\n"},
                     {"a0010\r", "a0010\r\nA 0076\r\n"},
                     {"a0010\r", "a0010\r\nA 0077\r\n"}}},
        Conformance{"PageFaults",
                    "--reject-page 3:2 --garble-page 4",
                    {kRescue,
                     kOpen,
                     {pageFrame(3, counting(64)), "@"},
                     {pageFrame(3, counting(64)), "@"},
                     {pageFrame(3, counting(64)), "!"},
                     {pageFrame(4, counting(64)), "#"},
                     {pageFrame(4, counting(64)), "!"}},
                    {{"pages_rejected", 2}, {"pages_stored", 3}}},
        Conformance{"IdentificationFaults", "--wrong-id alaR:2", {{"@rescue", ">alaR>alaR>AlaR"}}},
        Conformance{"NoIdentification", "--no-id", {{"@rescue", ">"}, kOpen, {kPage1, "!"}}},
        Conformance{"SilentUnit", "--silent", {{"v\r", ""}, {"@rescue", ""}}},
        Conformance{"VanishAtAPage",
                    "--vanish-at page:2",
                    {kRescue, kOpen, {kPage1, "!"}, {pageFrame(2, counting(64)), "hang-up"}}},
        Conformance{"VanishAtAnEepromWrite",
                    "--vanish-at ee:0x0005",
                    {{"e000411\r", "e000411\r\nE 0004\r\n"}, {"e000522\r", "hang-up"}},
                    {{"eeprom_writes", 1}}},
        Conformance{"VanishAtBootloaderEntry", "--vanish-at boot", {{"b0024\r", "hang-up"}}}),
    [](const auto& info) { return std::string(info.param.name); });

// The modelled USB adapter on the unit's line: `count` bytes off the line from `at`, one every
// `gap`, leave in packets when 62 are held or when the latency timer runs out.
struct Burst {
    int count;
    std::chrono::microseconds at, gap = 0us;
};
struct Packets {
    const char* name;
    std::chrono::milliseconds latency;
    std::vector<Burst> in;
    std::vector<std::pair<std::size_t, long>> out;  // bytes, microseconds at which they leave
};
void PrintTo(const Packets& c, std::ostream* out) {
    *out << c.name;
}
class AdapterPackets : public ::testing::TestWithParam<Packets> {};

TEST_P(AdapterPackets, LeaveWhenFullOrWhenTheTimerRunsOut) {
    const Packets& c = GetParam();
    sim::Adapter adapter(c.latency);
    std::size_t sent = 0;
    for (const Burst& b : c.in)
        for (int i = 0; i < b.count; ++i)
            adapter.put(static_cast<std::uint8_t>(sent++), sim::TimePoint{} + b.at + i * b.gap);
    std::vector<std::pair<std::size_t, long>> got;
    std::string bytes;
    while (const auto due = adapter.nextDeparture()) {
        ASSERT_EQ(adapter.take(*due - 1ns), "") << "a packet left before its time";
        const std::string packet = adapter.take(*due);
        got.emplace_back(
            packet.size(),
            std::chrono::duration_cast<std::chrono::microseconds>(due->time_since_epoch()).count());
        bytes += packet;
    }
    EXPECT_EQ(got, c.out);
    ASSERT_EQ(bytes.size(), sent);
    for (std::size_t i = 0; i < sent; ++i) EXPECT_EQ(bytes[i], static_cast<char>(i)) << i;
}

// 520 us: one byte's time on the line at 19,200 bit/s.
INSTANTIATE_TEST_SUITE_P(
    Sim, AdapterPackets,
    ::testing::Values(
        Packets{"OneByteWaitsForTheTimer", 16ms, {{1, 0us}}, {{1, 16000}}},
        Packets{"ReplyWithinTheTimerIsOnePacket", 16ms, {{11, 3000us, 520us}}, {{11, 19000}}},
        Packets{"ByteAtTheTimersEndStartsTheNext",
                16ms,
                {{1, 0us}, {1, 16000us}},
                {{1, 16000}, {1, 32000}}},
        Packets{"SixtySecondByteSendsAtOnce", 16ms, {{63, 0us}}, {{62, 0}, {1, 16000}}},
        Packets{
            "LongPacedRunSplitsAtTheTimer", 16ms, {{40, 0us, 520us}}, {{31, 16000}, {9, 32120}}},
        Packets{"OneMillisecondTimer", 1ms, {{5, 0us, 520us}}, {{2, 1000}, {2, 2040}, {1, 3080}}},
        Packets{"NoTimerPassesEachByteAsItComes",
                0ms,
                {{3, 100us, 520us}},
                {{1, 100}, {1, 620}, {1, 1140}}}),
    [](const auto& info) { return std::string(info.param.name); });

// The program with the option: the echo and reply of "v" come together once the timer has run.
TEST(AdapterOption, HoldsTheReplyUntilTheTimerRunsOut) {
    SimProcess sim({"--adapter-latency", "300"});  // far above a loaded machine's delays
    ASSERT_TRUE(sim.started()) << sim.error();
    Line line(sim.linkPath());
    ASSERT_TRUE(line.quiet());
    const auto sent = std::chrono::steady_clock::now();
    line.send("v\r");
    EXPECT_EQ(line.readCount(1), "v");
    EXPECT_GE(std::chrono::steady_clock::now() - sent, 300ms);
    EXPECT_EQ(line.readFor(0ms), "\r\nV 0024\r\n");
}

}  // namespace
}  // namespace ondo::testing
