// The POSIX serial library against real pseudo-terminals: opening and its refusals with the
// system's texts, exclusive access, line settings read back from the terminal, bytes both ways,
// the wait handle, and a device that goes away.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>

#include "link/sio.h"
#include "link/sio_posix.h"
#include "support/line.h"
#include "support/run.h"

namespace ondo::testing {
namespace {

struct PortMap {
    std::array<std::string, 12> devices;
    static std::string resolve(int port, void* context) {
        auto* map = static_cast<PortMap*>(context);
        return port < 0 || port >= 12 ? std::string() : map->devices[port];
    }
};

bool lockIsFree(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0) ::close(fd);
    return free;
}

// COM1 is the slave side of a pair of its own; the test plays the unit on the master side.
class Serial : public ::testing::Test {
  protected:
    Serial() {
        map.devices[0] = far.slavePath();
        lib = sio::makePlatformLibrary(&PortMap::resolve, &map);
    }
    void openUnitPort() {  // as the program does: queues 8192 and 256, 8N1 at 19,200 bit/s
        ASSERT_EQ(lib->SioReset(0, 8192, 256), 0) << lastError();
        ASSERT_EQ(lib->SioParms(0, 0, 0, 8), 0);
        ASSERT_EQ(lib->SioBaud(0, 6), 0);
    }
    std::string lastError() {
        std::array<char, 128> text{};
        lib->SioWinError(text.data(), static_cast<int>(text.size()));
        return text.data();
    }
    int waitForBytes(int port, int count) {  // bounded: for hangs only
        int waiting = lib->SioRxQue(port);
        for (int i = 0; i < 200 && waiting < count; ++i, waiting = lib->SioRxQue(port)) {
            pollfd p{lib->waitHandle(port), POLLIN, 0};
            if (p.fd < 0) break;
            ::poll(&p, 1, 50);
        }
        return waiting;
    }
    std::string takeBytes(int port, std::size_t count) {  // as the link does
        std::string got;
        while (got.size() < count && waitForBytes(port, 1) > 0) {
            const int byte = lib->SioGetc(port);
            if (byte < 0) break;
            got.push_back(static_cast<char>(byte));
        }
        return got;
    }
    termios line() {
        termios t{};
        EXPECT_EQ(::tcgetattr(lib->waitHandle(0), &t), 0);
        return t;
    }

    Line far;
    PortMap map;
    std::unique_ptr<sio::SerialLibrary> lib;
};

std::string allByteValues() {  // XON 0x11, XOFF 0x13, CR and LF among them
    return counting(256);
}

// Ways an open is refused: the result and the system's text.
struct Refusal {
    const char* name;
    std::function<void(Serial&, PortMap&, std::string&)> arrange;  // may name another port
    int result;
    const char* text;
};
class Refused : public Serial, public ::testing::WithParamInterface<Refusal> {};

TEST_P(Refused, WithTheSystemsText) {
    std::string device = far.slavePath();
    int port = 0;
    const Refusal& r = GetParam();
    r.arrange(*this, map, device);
    if (device.rfind("port ", 0) == 0) port = std::stoi(device.substr(5));
    EXPECT_EQ(lib->SioReset(port, 8192, 256), r.result);
    if (*r.text) {
        EXPECT_EQ(lastError(), r.text);
    }
    EXPECT_EQ(lib->waitHandle(port), -1);
}

const char* const kBusy = "Device or resource busy";
int holder = -1;  // a descriptor that holds the lock, as another program would

INSTANTIATE_TEST_SUITE_P(
    Serial, Refused,
    ::testing::Values(
        Refusal{"NoDeviceMapped", [](Serial&, PortMap&, std::string& d) { d = "port 1"; },
                sio::kNoSuchPort, ""},
        Refusal{"BelowComOne", [](Serial&, PortMap&, std::string& d) { d = "port -1"; },
                sio::kNoSuchPort, ""},
        Refusal{"ComTenIsNeverAPort",
                [](Serial&, PortMap& m, std::string& d) {
                    m.devices[9] = m.devices[0];
                    d = "port 9";
                },
                sio::kNoSuchPort, ""},
        Refusal{"MissingDevice",
                [](Serial&, PortMap& m, std::string&) { m.devices[0] = "/dev/ondo-no-such"; },
                sio::kOsError, "No such file or directory"},
        Refusal{"NotATerminal",
                [](Serial&, PortMap& m, std::string&) {
                    m.devices[0] = "/tmp/ondo-plain-" + std::to_string(::getpid());
                    writeFile(m.devices[0], "not a serial port");
                },
                sio::kOsError, "Inappropriate ioctl for device"},
        Refusal{"LockedByAnotherDescriptor",
                [](Serial&, PortMap&, std::string& d) {
                    holder = ::open(d.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
                    ::flock(holder, LOCK_EX | LOCK_NB);
                },
                sio::kOsError, kBusy},
        Refusal{"OpenInAnotherLibrary",
                [](Serial&, PortMap& m, std::string&) {
                    static std::unique_ptr<sio::SerialLibrary> other;
                    other = sio::makePlatformLibrary(&PortMap::resolve, &m);
                    other->SioReset(0, 8192, 256);
                },
                sio::kOsError, kBusy}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Serial, OpenAsksTheMapEachTimeReopensAndReleases) {
    ASSERT_EQ(lib->SioReset(0, 2, 2), 0);
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0) << "reopening an open port closes it first";
    EXPECT_FALSE(lockIsFree(far.slavePath()));
    ASSERT_EQ(lib->SioDone(0), 0);
    EXPECT_TRUE(lockIsFree(far.slavePath()));
    EXPECT_LT(lib->SioDone(0), 0) << "closed twice";
    EXPECT_LT(lib->SioDone(12), 0);
    Line other, third;
    map.devices[0] = other.slavePath();  // the map changed between two opens
    map.devices[3] = third.slavePath();
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0);
    ASSERT_EQ(lib->SioReset(3, 8192, 256), 0);
    ASSERT_EQ(lib->SioPutc(0, 'Q'), 0);
    ASSERT_EQ(lib->SioPutc(3, 'T'), 0);
    EXPECT_EQ(other.readCount(1), "Q");
    EXPECT_EQ(third.readCount(1), "T");
    EXPECT_FALSE(far.readable());
    ASSERT_TRUE(third.send("5"));
    EXPECT_EQ(takeBytes(3, 1), "5");
    lib.reset();
    EXPECT_TRUE(lockIsFree(other.slavePath())) << "destroying the library releases its ports";
    if (holder >= 0) ::close(holder);
}

TEST_F(Serial, ProbingOpensAndClosesEveryPortInQuickSuccession) {
    Line second, third;
    map.devices[3] = second.slavePath();
    map.devices[8] = third.slavePath();
    for (int round = 0; round < 3; ++round) {
        std::string found;
        for (int port = 0; port <= 8; ++port) {
            if (lib->SioReset(port, 2, 2) < 0) continue;
            EXPECT_EQ(lib->SioDone(port), 0);
            found += "COM" + std::to_string(port + 1) + " ";
        }
        EXPECT_EQ(found, "COM1 COM4 COM9 ");
    }
    for (const Line* l : {&far, &second, &third}) EXPECT_TRUE(lockIsFree(l->slavePath()));
}

// Permissions do not apply to root: then the check runs in a child that gave up root.
TEST_F(Serial, DeviceWithoutPermissionIsRefusedWithTheSystemsText) {
    ASSERT_EQ(::chmod(far.slavePath().c_str(), 0), 0);
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() == 0 && !nobody) GTEST_SKIP() << "root, and no account to drop to";
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0))
            ::_exit(2);
        ::_exit(lib->SioReset(0, 8192, 256) == sio::kOsError && lastError() == "Permission denied"
                    ? 0
                    : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "opened without permission, or another text";
}

TEST_F(Serial, CallsOnAPortNotOpenFailAndErrorTextsAreCutAndKept) {
    EXPECT_EQ(lib->SioParms(0, 0, 0, 8), sio::kNotOpen);
    EXPECT_EQ(lib->SioBaud(0, 6), sio::kNotOpen);
    EXPECT_EQ(lib->SioPutc(0, 'x'), sio::kNotOpen);
    EXPECT_EQ(lib->SioRxQue(0), sio::kNotOpen);
    EXPECT_LT(lib->SioGetc(0), 0);
    EXPECT_LT(lib->SioRxClear(0), 0);
    EXPECT_FALSE(far.readable()) << "nothing may reach a line that is not open";
    map.devices[1] = "/dev/ondo-no-such";
    ASSERT_EQ(lib->SioReset(1, 8192, 256), sio::kOsError);
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0);
    std::array<char, 8> text;
    text.fill('Z');
    EXPECT_EQ(lib->SioWinError(text.data(), 5), 4);
    EXPECT_STREQ(text.data(), "No s");
    EXPECT_EQ(text[5], 'Z') << "wrote past the length given";
    EXPECT_EQ(lastError(), "No such file or directory") << "kept across successful calls";
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
    t.c_cflag =
        (t.c_cflag & ~static_cast<tcflag_t>(CSIZE | CLOCAL)) | CS7 | PARENB | CSTOPB | CRTSCTS;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 5;
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    ASSERT_EQ(::tcsetattr(far.slaveFd(), TCSANOW, &t), 0);
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0);
    expectRaw8N1At19200(line());
    ASSERT_EQ(lib->SioParms(0, 2, 1, 7), 0);  // even parity, two stop bits
    EXPECT_TRUE(line().c_cflag & CSTOPB);
    EXPECT_FALSE(line().c_cflag & PARODD);
    ASSERT_EQ(lib->SioParms(0, 1, 0, 5), 0);  // odd parity, one stop bit
    EXPECT_FALSE(line().c_cflag & CSTOPB);
    EXPECT_TRUE(line().c_cflag & PARODD);
    for (const auto& [parity, stop, data] : {std::tuple{3, 0, 8}, {0, 2, 8}, {0, 0, 9}, {0, 0, 4}})
        EXPECT_EQ(lib->SioParms(0, parity, stop, data), sio::kBadArgument);
    const speed_t speeds[] = {B300,  B600,   B1200,  B2400,  B4800,
                              B9600, B19200, B38400, B57600, B115200};
    for (int code = 0; code < 10; ++code) {
        ASSERT_EQ(lib->SioBaud(0, code), 0);
        const termios t = line();
        EXPECT_EQ(cfgetospeed(&t), speeds[code]) << code;
    }
    openUnitPort();
    EXPECT_EQ(lib->SioBaud(0, 10), sio::kBadArgument);
    EXPECT_EQ(lib->SioBaud(0, -1), sio::kBadArgument);
    expectRaw8N1At19200(line());
    termios farSide{};
    ASSERT_EQ(::tcgetattr(far.fd(), &farSide), 0);
    expectRaw8N1At19200(farSide);
}

TEST_F(Serial, EveryByteBothWaysUnchangedAtOnceAndInOrder) {
    openUnitPort();
    for (unsigned char byte : allByteValues()) ASSERT_EQ(lib->SioPutc(0, byte), 0) << int(byte);
    EXPECT_EQ(far.readCount(256), allByteValues()) << "a success is 0, not the byte sent";
    ASSERT_TRUE(far.send(allByteValues()));
    EXPECT_EQ(takeBytes(0, 256), allByteValues());
    EXPECT_EQ(lib->SioRxQue(0), 0);
    EXPECT_EQ(lib->SioGetc(0), sio::kNoByte);
    ASSERT_TRUE(far.send("V 0024\n"));
    ASSERT_EQ(waitForBytes(0, 7), 7);
    EXPECT_EQ(lib->SioGetc(0), 'V');
    EXPECT_EQ(lib->SioRxQue(0), 6);
    EXPECT_EQ(takeBytes(0, 6), " 0024\n");
}

TEST_F(Serial, SmallQueuesLoseNothingAndClearDropsWhatTheSystemHolds) {
    ASSERT_EQ(lib->SioReset(0, 2, 2), 0);  // the queue sizes used while probing
    ASSERT_TRUE(far.send("ABCDEFG"));
    const int waiting = waitForBytes(0, 2);
    EXPECT_TRUE(waiting >= 1 && waiting <= 2) << waiting;
    EXPECT_EQ(takeBytes(0, 7), "ABCDEFG");
    ASSERT_EQ(lib->SioReset(0, 4, 2), 0);
    ASSERT_TRUE(far.send("0123456789"));
    ASSERT_EQ(waitForBytes(0, 4), 4);  // four queued, six more held by the system
    EXPECT_EQ(lib->SioGetc(0), '0');
    EXPECT_EQ(lib->SioRxClear(0), 0);
    EXPECT_EQ(lib->SioRxQue(0), 0);
    ASSERT_TRUE(far.send(">"));
    EXPECT_EQ(takeBytes(0, 1), ">") << "bytes after the clear arrive";
}

TEST_F(Serial, WaitHandleWakesOnABytesArrivalOnly) {
    openUnitPort();
    pollfd p{lib->waitHandle(0), POLLIN, 0};
    ASSERT_GE(p.fd, 0);
    EXPECT_EQ(::poll(&p, 1, 0), 0) << "readable with nothing received";
    ASSERT_TRUE(far.send("!"));
    ASSERT_EQ(::poll(&p, 1, 10000), 1);
    EXPECT_EQ(lib->SioRxQue(0), 1);
    EXPECT_EQ(lib->SioGetc(0), '!');
    EXPECT_EQ(::poll(&p, 1, 0), 0) << "a descriptor left readable would make a wait spin";
}

TEST_F(Serial, DeviceThatGoesAwayFailsWithTheSystemsTextAndComesBack) {
    openUnitPort();
    far.close();
    EXPECT_EQ(lib->SioRxQue(0), sio::kOsError);
    EXPECT_EQ(lastError(), "Input/output error");
    EXPECT_EQ(lib->SioRxQue(0), sio::kOsError) << "it stays gone";
    EXPECT_EQ(lib->SioGetc(0), sio::kNoByte);
    EXPECT_EQ(lib->SioPutc(0, 'x'), sio::kOsError);
    EXPECT_EQ(lib->waitHandle(0), -1) << "a hung-up descriptor is always readable";
    EXPECT_EQ(lib->SioDone(0), 0);
    Line replacement;  // the adapter plugged in again
    map.devices[0] = replacement.slavePath();
    openUnitPort();
    ASSERT_TRUE(replacement.send("t"));
    EXPECT_EQ(takeBytes(0, 1), "t");
}

// Low latency: asked for when a port opens, the driver's previous setting put back when it closes
// (by SioDone or by the library going), and a driver without the switch or refusing it changes
// nothing about the port.
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
        if (driver == kNoSwitch || driver == kRefuses) return false;
        on = value;
        return true;
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
    bool onWhileOpen;
    std::vector<bool> asked;
    bool onAfter;
};
void PrintTo(const Latency& c, std::ostream* os) {
    *os << c.name;
}
class LowLatency : public ::testing::TestWithParam<Latency> {};

TEST_P(LowLatency, IsAskedForAtOpenAndPutBackAtClose) {
    const Latency& c = GetParam();
    Line line;
    ASSERT_TRUE(line.ok());
    DriverSwitch driver(c.driver);
    auto lib = sio::makePosixLibrary(
        [](int port, void* l) { return port == 0 ? static_cast<Line*>(l)->slavePath() : ""; },
        &line, driver);
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0);
    EXPECT_EQ(driver.on, c.onWhileOpen);
    const int fd = lib->waitHandle(0);
    ASSERT_EQ(lib->SioPutc(0, 'Q'), 0);  // the port works as any other
    EXPECT_EQ(line.readCount(1), "Q");
    if (c.libraryGoes) {
        lib.reset();
    } else {
        EXPECT_EQ(lib->SioDone(0), 0);
    }
    EXPECT_EQ(driver.asked, c.asked);
    EXPECT_EQ(driver.on, c.onAfter);
    for (const int asked : driver.fds) EXPECT_EQ(asked, fd) << "another descriptor than the port's";
}

INSTANTIATE_TEST_SUITE_P(
    Sio, LowLatency,
    ::testing::Values(Latency{"OffIsTurnedOnThenBackOff", kOff, false, true, {true, false}, false},
                      Latency{
                          "OffComesBackWhenTheLibraryGoes", kOff, true, true, {true, false}, false},
                      Latency{"AlreadyOnIsLeftOn", kOn, false, true, {}, true},
                      Latency{"RefusedIsNotPutBack", kRefuses, false, false, {true}, false},
                      Latency{"NoSwitchAsOnAPseudoTerminal", kNoSwitch, false, false, {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ondo::testing
