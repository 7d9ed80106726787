// SPDX-License-Identifier: GPL-3.0-or-later
// The POSIX serial library against real pseudo-terminals: opening and its refusals with the
// system's texts, exclusive access, line settings read back from the terminal, bytes both ways,
// the wait handle, a device that goes away, and the driver's low-latency switch.

#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>

#include <array>
#include <memory>
#include <optional>
#include <set>
#include <tuple>

#include "link/sio.h"
#include "link/sio_posix.h"
#include "support/line.h"

namespace ondo::testing {
namespace {

// COM1 is the slave side of a pair of its own; the test plays the unit on the master side.
class Serial : public ::testing::Test {
  public:
    static std::string resolve(int port, void* devices) {
        return static_cast<std::string*>(devices)[port];
    }
    static std::string lastError(sio::SerialLibrary& library) {
        std::array<char, 128> text{};
        library.SioWinError(text.data(), static_cast<int>(text.size()));
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

    Line far;
    std::string devices[12] = {far.slavePath()};
    std::unique_ptr<sio::SerialLibrary> lib = sio::makePlatformLibrary(&resolve, devices);
};

// Calls on a port not open; the ways an open is refused, each with the system's text (the map is
// asked at each open); probing; a port held by another user of the library until closed.
TEST_F(Serial, ClosedRefusedProbedHeldAndReleased) {
    for (const int result : {lib->SioParms(0, 0, 0, 8), lib->SioBaud(0, 6), lib->SioPutc(0, 'x'),
                             lib->SioRxClear(0), lib->SioDone(0), lib->SioDone(12)})
        EXPECT_EQ(result, sio::kNotOpen);
    EXPECT_EQ(lib->SioRxQue(0) * 1000 + lib->SioGetc(0), sio::kNotOpen * 1000 + sio::kNoByte);
    const std::tuple<int, const char*, int, const char*> refusals[] = {
        {1, "", sio::kNoSuchPort, ""},  // before any system error: no text yet
        {9, "/dev/null", sio::kNoSuchPort, ""},
        {2, "/dev/ondo-no-such", sio::kOsError, "No such file or directory"},
        {5, "/dev/null", sio::kOsError, "Inappropriate ioctl for device"}};
    for (const auto& [port, device, result, text] : refusals) {
        SCOPED_TRACE("COM" + std::to_string(port + 1) + " on " + device);
        devices[port] = device;
        EXPECT_EQ(lib->SioReset(port, 8192, 256), result);
        EXPECT_EQ(lastError(*lib), text);
        EXPECT_EQ(lib->waitHandle(port), -1);
    }
    Line second;
    devices[3] = second.slavePath();
    std::string found;  // probing: every port opened and closed at once
    for (int port = 0; port < 9; ++port)
        if (lib->SioReset(port, 2, 2) == 0 && lib->SioDone(port) == 0) found += char('1' + port);
    EXPECT_EQ(found, "14");
    ASSERT_EQ(lib->SioReset(0, 2, 2), 0);
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0) << "reopening an open port closes it first";
    const auto other = sio::makePlatformLibrary(&resolve, devices);  // as another program
    EXPECT_EQ(other->SioReset(0, 8192, 256), sio::kOsError);
    std::array<char, 8> text;
    text.fill('Z');
    EXPECT_EQ(other->SioWinError(text.data(), 5), 4);
    EXPECT_EQ(std::string(text.data(), 6), std::string("Devi\0Z", 6)) << "cut, nothing past it";
    ASSERT_EQ(lib->SioDone(0), 0);
    EXPECT_EQ(other->SioReset(0, 8192, 256), 0) << "SioDone releases the port";
    EXPECT_EQ(lastError(*other), "Device or resource busy") << "kept across successful calls";
    ASSERT_EQ(lib->SioReset(3, 8192, 256), 0);
    lib.reset();
    EXPECT_EQ(other->SioReset(3, 8192, 256), 0) << "the library's end releases its ports";
}

TEST_F(Serial, LineSettingsAreRaw8N1At19200WhateverTheLineWasBefore) {
    termios t{};  // left as a login terminal would: cooked, echoing, XON/XOFF, 9600 7E2
    ASSERT_EQ(::tcgetattr(far.slaveFd(), &t), 0);
    t.c_iflag |= IXON | IXOFF | IXANY | ICRNL | INLCR | ISTRIP;
    t.c_oflag |= OPOST | ONLCR;
    t.c_lflag |= ECHO | ICANON | ISIG | IEXTEN;
    t.c_cflag = (t.c_cflag & ~tcflag_t(CSIZE | CLOCAL)) | CS7 | PARENB | CSTOPB | CRTSCTS;
    cfsetspeed(&t, B9600);
    ASSERT_EQ(::tcsetattr(far.slaveFd(), TCSANOW, &t), 0);
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0);
    const auto line = [&]() -> termios& {
        EXPECT_EQ(::tcgetattr(lib->waitHandle(0), &t), 0);
        return t;
    };
    EXPECT_EQ(cfgetospeed(&line()), static_cast<speed_t>(B19200));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD),
              static_cast<tcflag_t>(CS8 | CLOCAL | CREAD));
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_FALSE(t.c_lflag & (ECHO | ICANON | ISIG | IEXTEN));
    ASSERT_EQ(lib->SioParms(0, 2, 1, 7), 0);  // even, 2 stop bits; a pty keeps only PARODD, CSTOPB
    EXPECT_EQ(line().c_cflag & (CSTOPB | PARODD), tcflag_t(CSTOPB));
    ASSERT_EQ(lib->SioParms(0, 1, 0, 5), 0);  // odd parity, one stop bit
    EXPECT_EQ(line().c_cflag & (CSTOPB | PARODD), tcflag_t(PARODD));
    ASSERT_EQ(lib->SioParms(0, 0, 0, 8), 0);  // as the program opens the unit's port
    for (const auto& [parity, stop, data] : {std::tuple{3, 0, 8}, {0, 2, 8}, {0, 0, 9}, {0, 0, 4}})
        EXPECT_EQ(lib->SioParms(0, parity, stop, data), sio::kBadArgument);
    EXPECT_EQ(lib->SioBaud(0, 10) + lib->SioBaud(0, -1), 2 * sio::kBadArgument);
    EXPECT_EQ(line().c_cflag & (CSTOPB | PARODD), tcflag_t(0));
    const speed_t speeds[] = {B300,  B600,   B1200,  B2400,  B4800,
                              B9600, B19200, B38400, B57600, B115200};
    for (int code = 0; code < 10; ++code) {
        ASSERT_EQ(lib->SioBaud(0, code), 0);
        EXPECT_EQ(cfgetospeed(&line()), speeds[code]) << code;
    }
}

TEST_F(Serial, EveryByteBothWaysTheWaitHandleSmallQueuesClearAndHangUp) {
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
    ASSERT_EQ(lib->SioReset(0, 4, 2), 0);  // queues as small as while probing
    ASSERT_TRUE(far.send("0123456789"));
    for (int i = 0; i < 200 && lib->SioRxQue(0) < 4; ++i) ::poll(&p, 0, 10);
    EXPECT_EQ(lib->SioRxQue(0), 4) << "four queued, six more held by the system";
    EXPECT_EQ(take(0, 5), "01234");
    EXPECT_EQ(lib->SioRxClear(0) + lib->SioRxQue(0), 0) << "three queued, two held: all go";
    ASSERT_TRUE(far.send(">"));
    EXPECT_EQ(take(0, 1), ">") << "only bytes after the clear arrive";
    far.close();  // the adapter pulled: the system's text, and no wait handle that spins
    EXPECT_EQ(lib->SioRxQue(0), sio::kOsError);
    EXPECT_EQ(lastError(*lib), "Input/output error");
    EXPECT_EQ(lib->waitHandle(0), -1) << "a hung-up descriptor is always readable";
}

// Low latency: asked for when a port opens, the driver's previous setting put back when it closes;
// a driver without the switch or refusing it changes nothing about the port. Every question goes
// to the port's own descriptor. A row: the driver, and what the library asks of its switch.
enum Driver { kOff, kOn, kRefuses, kNoSwitch };
struct DriverSwitch : sio::LowLatencySwitch {
    explicit DriverSwitch(Driver d) : driver(d) {}
    std::optional<bool> isOn(int fd) override {
        fds.insert(fd);
        return driver == kNoSwitch ? std::nullopt : std::optional<bool>(driver == kOn);
    }
    bool set(int fd, bool on) override {
        fds.insert(fd);
        asked += on ? "on," : "off,";
        return driver != kRefuses;
    }
    Driver driver;
    std::string asked;
    std::set<int> fds;
};

TEST_F(Serial, LowLatencyIsAskedForAtOpenAndPutBackAtClose) {
    for (const auto& [driver, asked] :
         {std::pair{kOff, "on,off,"}, {kOn, ""}, {kRefuses, "on,"}, {kNoSwitch, ""}}) {
        SCOPED_TRACE((std::array{"off", "on", "refusing", "without the switch"}[driver]));
        DriverSwitch latency(driver);
        const auto posix = sio::makePosixLibrary(&resolve, devices, latency);
        ASSERT_EQ(posix->SioReset(0, 8192, 256), 0);
        const int fd = posix->waitHandle(0);
        ASSERT_EQ(posix->SioDone(0), 0);
        EXPECT_EQ(latency.asked, asked);
        EXPECT_EQ(latency.fds, std::set<int>{fd});
    }
}

}  // namespace
}  // namespace ondo::testing
