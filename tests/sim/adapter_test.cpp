// The modelled USB adapter on the simulated unit's line: which bytes reach the host together,
// and when.

#include "sim/adapter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <vector>

#include "sim/port.h"
#include "support/sim_process.h"

namespace ondo::simtest {
namespace {

using namespace std::chrono_literals;
using Micros = std::chrono::microseconds;

// `count` bytes coming off the line, the first at `at`, one every `gap` after it.
struct Burst {
    int count;
    Micros at;
    Micros gap = 0us;
};
// A packet as the host receives it: how many bytes, and when.
struct Packet {
    std::size_t bytes;
    Micros leaves;
    bool operator==(const Packet&) const = default;
};
void PrintTo(const Packet& p, std::ostream* os) {
    *os << p.bytes << " bytes at " << p.leaves.count() << " us";
}

struct AdapterCase {
    const char* name;
    std::chrono::milliseconds latency;
    std::vector<Burst> in;
    std::vector<Packet> out;
};

void PrintTo(const AdapterCase& c, std::ostream* os) {
    *os << c.name;
}

class AdapterPackets : public ::testing::TestWithParam<AdapterCase> {};

TEST_P(AdapterPackets, LeaveWhenFullOrWhenTheTimerRunsOut) {
    const AdapterCase& c = GetParam();
    const sim::TimePoint zero{};
    sim::Adapter adapter(c.latency);
    std::size_t sent = 0;
    for (const Burst& b : c.in) {
        for (int i = 0; i < b.count; ++i)
            adapter.put(static_cast<std::uint8_t>(sent++), zero + b.at + i * b.gap);
    }
    std::vector<Packet> got;
    std::string bytes;
    while (const auto due = adapter.nextDeparture()) {
        ASSERT_EQ(adapter.take(*due - 1ns), "") << "a packet left before its time";
        const std::string packet = adapter.take(*due);
        got.push_back({packet.size(), std::chrono::duration_cast<Micros>(*due - zero)});
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
        AdapterCase{"OneByteWaitsForTheTimer", 16ms, {{1, 0us}}, {{1, 16000us}}},
        AdapterCase{"ReplyWithinTheTimerIsOnePacket", 16ms, {{11, 3000us, 520us}}, {{11, 19000us}}},
        AdapterCase{"ByteAtTheTimersEndStartsTheNext",
                    16ms,
                    {{1, 0us}, {1, 16000us}},
                    {{1, 16000us}, {1, 32000us}}},
        AdapterCase{"SixtySecondByteSendsAtOnce", 16ms, {{63, 0us}}, {{62, 0us}, {1, 16000us}}},
        AdapterCase{"LongPacedRunSplitsAtTheTimer",
                    16ms,
                    {{40, 0us, 520us}},
                    {{31, 16000us}, {9, 32120us}}},
        AdapterCase{
            "OneMillisecondTimer", 1ms, {{5, 0us, 520us}}, {{2, 1000us}, {2, 2040us}, {1, 3080us}}},
        AdapterCase{"NoTimerPassesEachByteAsItComes",
                    0ms,
                    {{3, 100us, 520us}},
                    {{1, 100us}, {1, 620us}, {1, 1140us}}}),
    [](const auto& info) { return std::string(info.param.name); });

// The program with the option: the echo and reply of "v" come together, once the timer has run.
TEST(AdapterOption, HoldsTheReplyUntilTheTimerRunsOut) {
    constexpr auto kLatency = 300ms;  // far above a loaded machine's scheduling delays
    testing::SimProcess sim({"--adapter-latency", std::to_string(kLatency.count())});
    ASSERT_TRUE(sim.started()) << sim.error();
    Port port(sim.devicePath());
    ASSERT_TRUE(port.quiet());
    const auto sent = std::chrono::steady_clock::now();
    port.send("v\r");
    EXPECT_EQ(port.readCount(1), "v");
    EXPECT_GE(std::chrono::steady_clock::now() - sent, kLatency);
    EXPECT_EQ(port.readFor(0ms), "\r\nV 0024\r\n");
}

}  // namespace
}  // namespace ondo::simtest
