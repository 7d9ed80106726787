// Low latency on the POSIX serial library: asked for when a port opens, the driver's previous
// setting put back when it closes, and a driver without the switch or refusing it changes
// nothing about the port.

#include <gtest/gtest.h>
#include <poll.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "link/sio_posix.h"
#include "support/pty.h"

namespace ondo::testing {
namespace {

// What the driver behind the port does with the low-latency switch.
enum Driver { kOff, kOn, kRefuses, kNoSwitch };

// A serial driver's low-latency switch, standing in for the ioctl requests.
struct DriverSwitch : sio::LowLatencySwitch {
    explicit DriverSwitch(Driver d) : driver(d), on(d == kOn) {}
    std::optional<bool> isOn(int fd) override {
        fds.push_back(fd);
        return driver == kNoSwitch ? std::nullopt : std::optional<bool>(on);
    }
    bool set(int fd, bool value) override {
        fds.push_back(fd);
        asked.push_back(value);
        if (driver == kNoSwitch || driver == kRefuses) return false;
        on = value;
        return true;
    }
    Driver driver;
    bool on;
    std::vector<bool> asked;  // every change the library asked for, in order
    std::vector<int> fds;     // the descriptors it asked about
};

enum Close { kSioDone, kLibraryGone };

struct LatencyCase {
    const char* name;
    Driver driver;
    Close close;
    bool onWhileOpen;
    std::vector<bool> asked;
    bool onAfter;
};
void PrintTo(const LatencyCase& c, std::ostream* os) {
    *os << c.name;
}

class LowLatency : public ::testing::TestWithParam<LatencyCase> {};

std::string resolve(int port, void* context) {
    return port == 0 ? static_cast<Pty*>(context)->slavePath() : std::string();
}

TEST_P(LowLatency, IsAskedForAtOpenAndPutBackAtClose) {
    const LatencyCase& c = GetParam();
    Pty pty;
    ASSERT_TRUE(pty.ok());
    DriverSwitch driver(c.driver);
    auto lib = sio::makePosixLibrary(resolve, &pty, driver);

    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0);
    EXPECT_EQ(driver.on, c.onWhileOpen);
    const int fd = lib->waitHandle(0);
    // The port works as any other: a byte each way.
    ASSERT_EQ(lib->SioPutc(0, 'Q'), 0);
    EXPECT_EQ(pty.read(1), "Q");
    ASSERT_TRUE(pty.write("R"));
    pollfd poller{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&poller, 1, static_cast<int>(Pty::kGenerousWait.count())), 1);
    EXPECT_EQ(lib->SioGetc(0), 'R');

    if (c.close == kSioDone) {
        EXPECT_EQ(lib->SioDone(0), 0);
    } else {
        lib.reset();
    }
    EXPECT_EQ(driver.asked, c.asked);
    EXPECT_EQ(driver.on, c.onAfter);
    for (const int asked : driver.fds) EXPECT_EQ(asked, fd) << "another descriptor than the port's";
}

INSTANTIATE_TEST_SUITE_P(
    Sio, LowLatency,
    ::testing::Values(
        LatencyCase{"OffIsTurnedOnThenBackOff", kOff, kSioDone, true, {true, false}, false},
        LatencyCase{
            "OffComesBackWhenTheLibraryGoes", kOff, kLibraryGone, true, {true, false}, false},
        LatencyCase{"AlreadyOnIsLeftOn", kOn, kSioDone, true, {}, true},
        LatencyCase{"RefusedIsNotPutBack", kRefuses, kSioDone, false, {true}, false},
        LatencyCase{"NoSwitchAsOnAPseudoTerminal", kNoSwitch, kSioDone, false, {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ondo::testing
