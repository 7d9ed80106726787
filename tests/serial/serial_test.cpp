// The POSIX serial library against real pseudo-terminals: opening and its refusals with the
// system's texts, exclusive access, line settings read back from the terminal, bytes both ways,
// the wait handle, a device that goes away, and the driver's low-latency switch.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "link/sio.h"
#include "link/sio_posix.h"
#include "support/line.h"
#include "support/run.h"

namespace ondo::testing {
namespace {

template <class Row>
std::string rowName(const ::testing::TestParamInfo<Row>& info) {
    return info.param.name;
}

bool lockIsFree(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0) ::close(fd);
    return free;
}

// COM1 is the slave side of a pair of its own; the test plays the unit on the master side.
class Serial : public ::testing::Test {
  public:
    static std::string resolve(int port, void* devices) {
        return port < 0 || port >= 12 ? "" : static_cast<std::string*>(devices)[port];
    }
    std::string lastError() {
        std::array<char, 128> text{};
        lib->SioWinError(text.data(), static_cast<int>(text.size()));
        return text.data();
    }
    std::string take(int port, std::size_t count) {  // as the link does; bounded for hangs only
        std::string got;
        for (int i = 0; i < 200 && got.size() < count; ++i) {
            pollfd p{lib->waitHandle(port), POLLIN, 0};
            if (lib->SioRxQue(port) <= 0 && (p.fd < 0 || ::poll(&p, 1, 50) < 0)) break;
            for (int byte; got.size() < count && (byte = lib->SioGetc(port)) >= 0;)
                got += char(byte);
        }
        return got;
    }
    termios line() {
        termios t{};
        EXPECT_EQ(::tcgetattr(lib->waitHandle(0), &t), 0);
        return t;
    }

    Line far;
    std::string devices[12] = {far.slavePath()};
    std::unique_ptr<sio::SerialLibrary> lib = sio::makePlatformLibrary(&resolve, devices);
};

// Ways an open is refused: the port, how the test arranges it, the result and the system's text.
struct Refusal {
    const char* name;
    int port;
    std::function<void(Serial&, std::string* devices)> arrange;
    int result;
    const char* text;
};
class Refused : public Serial, public ::testing::WithParamInterface<Refusal> {};

TEST_P(Refused, WithTheSystemsText) {
    const Refusal& r = GetParam();
    if (r.arrange) r.arrange(*this, devices);
    EXPECT_EQ(lib->SioReset(r.port, 8192, 256), r.result);
    EXPECT_EQ(lastError(), r.text);
    EXPECT_EQ(lib->waitHandle(r.port), -1);
}

std::unique_ptr<sio::SerialLibrary> other;  // another user of the port, as another program
INSTANTIATE_TEST_SUITE_P(
    Serial, Refused,
    ::testing::Values(Refusal{"NoDeviceMapped", 1, {}, sio::kNoSuchPort, ""},
                      Refusal{"BelowComOne", -1, {}, sio::kNoSuchPort, ""},
                      Refusal{"ComTenIsNeverAPort", 9, [](Serial&, std::string* d) { d[9] = d[0]; },
                              sio::kNoSuchPort, ""},
                      Refusal{"MissingDevice", 0,
                              [](Serial&, std::string* d) { d[0] = "/dev/ondo-no-such"; },
                              sio::kOsError, "No such file or directory"},
                      Refusal{"NotATerminal", 0,
                              [](Serial&, std::string* d) {
                                  d[0] = "/tmp/ondo-plain-" + std::to_string(::getpid());
                                  writeFile(d[0], "not a serial port");
                              },
                              sio::kOsError, "Inappropriate ioctl for device"},
                      Refusal{"LockedByAnotherDescriptor", 0,
                              [](Serial&, std::string* d) {
                                  ::flock(::open(d[0].c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC),
                                          LOCK_EX);
                              },
                              sio::kOsError, "Device or resource busy"},
                      Refusal{"OpenInAnotherLibrary", 0,
                              [](Serial&, std::string* d) {
                                  other = sio::makePlatformLibrary(&Serial::resolve, d);
                                  other->SioReset(0, 8192, 256);
                              },
                              sio::kOsError, "Device or resource busy"}),
    rowName<Refusal>);

TEST_F(Serial, OpenProbeReopenReleaseAndCallsOnAPortNotOpen) {
    for (const int result : {lib->SioParms(0, 0, 0, 8), lib->SioBaud(0, 6), lib->SioPutc(0, 'x'),
                             lib->SioRxClear(0), lib->SioDone(0)})
        EXPECT_EQ(result, sio::kNotOpen);
    EXPECT_EQ(lib->SioRxQue(0) * 1000 + lib->SioGetc(0), sio::kNotOpen * 1000 + sio::kNoByte);
    EXPECT_EQ(far.readFor(50ms), "") << "nothing may reach a line that is not open";
    Line second, third;
    devices[3] = second.slavePath();
    devices[8] = third.slavePath();
    std::string found;  // probing twice: every port opened and closed at once
    for (int port = 0; port <= 17; ++port)
        if (lib->SioReset(port % 9, 2, 2) == 0 && lib->SioDone(port % 9) == 0)
            found += std::to_string(port % 9 + 1);
    EXPECT_EQ(found, "149149");
    ASSERT_EQ(lib->SioReset(0, 2, 2), 0);
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0) << "reopening an open port closes it first";
    EXPECT_FALSE(lockIsFree(far.slavePath()));
    devices[0] = second.slavePath();  // the map is asked at each open
    ASSERT_EQ(lib->SioReset(8, 8192, 256), 0);
    ASSERT_EQ(lib->SioPutc(8, 'T'), 0);
    EXPECT_EQ(third.readCount(1), "T");
    ASSERT_EQ(lib->SioDone(0), 0);
    EXPECT_TRUE(lockIsFree(far.slavePath()));
    EXPECT_LT(lib->SioDone(12), 0);
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0);
    ASSERT_EQ(lib->SioPutc(0, 'Q'), 0);
    EXPECT_EQ(second.readCount(1), "Q");
    devices[1] = "/dev/ondo-no-such";
    ASSERT_EQ(lib->SioReset(1, 8192, 256), sio::kOsError);
    std::array<char, 8> text;
    text.fill('Z');
    EXPECT_EQ(lib->SioWinError(text.data(), 5), 4);
    EXPECT_EQ(std::string(text.data(), 6), std::string("No s\0Z", 6)) << "cut, nothing past it";
    ASSERT_EQ(lib->SioPutc(0, 'R'), 0);
    EXPECT_EQ(lastError(), "No such file or directory") << "kept across successful calls";
    lib.reset();
    EXPECT_TRUE(lockIsFree(second.slavePath()) && lockIsFree(third.slavePath()))
        << "the library's end releases its ports";
}

void expectRaw8N1At19200(const termios& t) {
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD),
              static_cast<tcflag_t>(CS8 | CLOCAL | CREAD));
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_FALSE(t.c_lflag & (ECHO | ICANON | ISIG | IEXTEN));
    EXPECT_EQ(t.c_cc[VMIN] + t.c_cc[VTIME], 0);
}

TEST_F(Serial, LineSettingsAreRaw8N1At19200WhateverTheLineWasBefore) {
    termios t{};  // left as a login terminal would: cooked, echoing, XON/XOFF, 9600 7E2
    ASSERT_EQ(::tcgetattr(far.slaveFd(), &t), 0);
    t.c_iflag |= IXON | IXOFF | IXANY | ICRNL | INLCR | ISTRIP;
    t.c_oflag |= OPOST | ONLCR;
    t.c_lflag |= ECHO | ICANON | ISIG | IEXTEN;
    t.c_cflag = (t.c_cflag & ~tcflag_t(CSIZE | CLOCAL)) | CS7 | PARENB | CSTOPB | CRTSCTS;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 5;
    cfsetspeed(&t, B9600);
    ASSERT_EQ(::tcsetattr(far.slaveFd(), TCSANOW, &t), 0);
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0);
    expectRaw8N1At19200(line());
    ASSERT_EQ(lib->SioParms(0, 2, 1, 7), 0);  // even parity, two stop bits
    EXPECT_EQ(line().c_cflag & (CSTOPB | PARODD), tcflag_t(CSTOPB));
    ASSERT_EQ(lib->SioParms(0, 1, 0, 5), 0);  // odd parity, one stop bit
    EXPECT_EQ(line().c_cflag & (CSTOPB | PARODD), tcflag_t(PARODD));
    for (const auto& [parity, stop, data] : {std::tuple{3, 0, 8}, {0, 2, 8}, {0, 0, 9}, {0, 0, 4}})
        EXPECT_EQ(lib->SioParms(0, parity, stop, data), sio::kBadArgument);
    const speed_t speeds[] = {B300,  B600,   B1200,  B2400,  B4800,
                              B9600, B19200, B38400, B57600, B115200};
    for (int code = 0; code < 10; ++code) {
        ASSERT_EQ(lib->SioBaud(0, code), 0);
        EXPECT_EQ(cfgetospeed(&(t = line())), speeds[code]) << code;
    }
    ASSERT_EQ(lib->SioParms(0, 0, 0, 8), 0);  // as the program opens the unit's port
    ASSERT_EQ(lib->SioBaud(0, 6), 0);
    EXPECT_EQ(lib->SioBaud(0, 10) + lib->SioBaud(0, -1), 2 * sio::kBadArgument);
    expectRaw8N1At19200(line());
    ASSERT_EQ(::tcgetattr(far.fd(), &t), 0);
    expectRaw8N1At19200(t);
}

TEST_F(Serial, EveryByteBothWaysTheWaitHandleSmallQueuesAndClear) {
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0);
    for (unsigned char byte : counting(256)) ASSERT_EQ(lib->SioPutc(0, byte), 0) << int(byte);
    EXPECT_EQ(far.readCount(256), counting(256)) << "XON, XOFF, CR and LF among them";
    pollfd p{lib->waitHandle(0), POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 0), 0) << "readable with nothing received";
    ASSERT_TRUE(far.send(counting(256)));
    ASSERT_EQ(::poll(&p, 1, 10000), 1);
    EXPECT_EQ(take(0, 256), counting(256));
    EXPECT_EQ(lib->SioRxQue(0) * 1000 + lib->SioGetc(0), sio::kNoByte);
    EXPECT_EQ(::poll(&p, 1, 0), 0) << "a descriptor left readable would make a wait spin";
    ASSERT_EQ(lib->SioReset(0, 2, 2), 0);  // the queue sizes used while probing
    ASSERT_TRUE(far.send("ABCDEFG"));
    EXPECT_EQ(take(0, 7), "ABCDEFG");
    ASSERT_EQ(lib->SioReset(0, 4, 2), 0);
    ASSERT_TRUE(far.send("0123456789"));
    for (int i = 0; i < 200 && lib->SioRxQue(0) < 4; ++i) ::poll(&p, 0, 10);
    EXPECT_EQ(lib->SioRxQue(0), 4) << "four queued, six more held by the system";
    EXPECT_EQ(lib->SioGetc(0), '0');
    EXPECT_EQ(lib->SioRxClear(0) + lib->SioRxQue(0), 0);
    ASSERT_TRUE(far.send(">"));
    EXPECT_EQ(take(0, 1), ">") << "only bytes after the clear arrive";
}

TEST_F(Serial, DeviceThatGoesAwayFailsWithTheSystemsTextAndComesBack) {
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0);
    far.close();
    EXPECT_EQ(lib->SioRxQue(0), sio::kOsError);
    EXPECT_EQ(lastError(), "Input/output error");
    EXPECT_EQ(lib->SioRxQue(0), sio::kOsError) << "it stays gone";
    EXPECT_EQ(lib->SioGetc(0), sio::kNoByte);
    EXPECT_EQ(lib->SioPutc(0, 'x'), sio::kOsError);
    EXPECT_EQ(lib->waitHandle(0), -1) << "a hung-up descriptor is always readable";
    EXPECT_EQ(lib->SioDone(0), 0);
    Line replacement;  // the adapter plugged in again
    devices[0] = replacement.slavePath();
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0);
    ASSERT_TRUE(replacement.send("t"));
    EXPECT_EQ(take(0, 1), "t");
}

// Low latency: asked for when a port opens, the driver's previous setting put back when it closes
// (by SioDone or by the library going); a driver without the switch or refusing it changes
// nothing about the port. Every question goes to the port's own descriptor.
enum Driver { kOff, kOn, kRefuses, kNoSwitch };
struct DriverSwitch : sio::LowLatencySwitch {
    explicit DriverSwitch(Driver d) : driver(d), on(d == kOn) {}
    std::optional<bool> isOn(int fd) override {
        fds.push_back(fd);
        return driver == kNoSwitch ? std::nullopt : std::optional<bool>(on);
    }
    bool set(int fd, bool value) override {
        fds.push_back(fd);
        asked.push_back(value);
        on = driver < kRefuses ? value : on;
        return driver < kRefuses;
    }
    Driver driver;
    bool on;
    std::vector<bool> asked;
    std::vector<int> fds;
};
struct Latency {
    const char* name;
    Driver driver;
    bool libraryGoes;  // closed by the library's end instead of SioDone
    bool onWhileOpen, onAfter;
    std::vector<bool> asked;
};
class LowLatency : public Serial, public ::testing::WithParamInterface<Latency> {};

TEST_P(LowLatency, IsAskedForAtOpenAndPutBackAtClose) {
    const Latency& c = GetParam();
    DriverSwitch driver(c.driver);
    lib = sio::makePosixLibrary(&resolve, devices, driver);
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0);
    EXPECT_EQ(driver.on, c.onWhileOpen);
    const int fd = lib->waitHandle(0);
    ASSERT_EQ(lib->SioPutc(0, 'Q'), 0);  // the port works as any other
    EXPECT_EQ(far.readCount(1), "Q");
    EXPECT_EQ(c.libraryGoes ? (lib.reset(), 0) : lib->SioDone(0), 0);
    EXPECT_EQ(driver.asked, c.asked);
    EXPECT_EQ(driver.on, c.onAfter);
    EXPECT_EQ(driver.fds, std::vector<int>(driver.fds.size(), fd));
    lib.reset();
}

INSTANTIATE_TEST_SUITE_P(
    Sio, LowLatency,
    ::testing::Values(Latency{"OffIsTurnedOnThenBackOff", kOff, false, true, false, {true, false}},
                      Latency{
                          "OffComesBackWhenTheLibraryGoes", kOff, true, true, false, {true, false}},
                      Latency{"AlreadyOnIsLeftOn", kOn, false, true, true, {}},
                      Latency{"RefusedIsNotPutBack", kRefuses, false, false, false, {true}},
                      Latency{"NoSwitchAsOnAPseudoTerminal", kNoSwitch, false, false, false, {}}),
    rowName<Latency>);

}  // namespace
}  // namespace ondo::testing
