// The line settings the port ends up with, read back from the terminal itself.

#include <termios.h>

#include <utility>

#include "sio/sio_fixture.h"

namespace ondo::testing {
namespace {

class LineSettings : public SioTest {
  protected:
    void SetUp() override {
        SioTest::SetUp();
        spoilLine();
    }

    // Leaves the device as a login terminal would: cooked, echoing, with XON/XOFF, CR/LF
    // translation and hardware handshake, at 9600 bit/s 7E2; opening must undo all of it.
    void spoilLine() {
        termios t{};
        ASSERT_EQ(::tcgetattr(pty.slaveFd(), &t), 0);
        t.c_iflag |= IXON | IXOFF | IXANY | ICRNL | INLCR | ISTRIP;
        t.c_oflag |= OPOST | ONLCR;
        t.c_lflag |= ECHO | ICANON | ISIG | IEXTEN;
        t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CLOCAL);
        t.c_cflag |= CS7 | PARENB | CSTOPB | CRTSCTS;
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 5;
        cfsetispeed(&t, B9600);
        cfsetospeed(&t, B9600);
        ASSERT_EQ(::tcsetattr(pty.slaveFd(), TCSANOW, &t), 0);
    }

    // The settings of the library's own descriptor.
    termios line() {
        termios t{};
        EXPECT_EQ(::tcgetattr(lib->waitHandle(0), &t), 0);
        return t;
    }
};

void expectRaw8N1At19200(const termios& t) {
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(t.c_cflag & PARENB) << "parity";
    EXPECT_FALSE(t.c_cflag & CSTOPB) << "two stop bits";
    EXPECT_TRUE(t.c_cflag & CLOCAL) << "waits for modem lines";
    EXPECT_TRUE(t.c_cflag & CREAD) << "receiver off";
    EXPECT_FALSE(t.c_cflag & CRTSCTS) << "hardware handshake";
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | IXANY)) << "software flow control eats 0x11/0x13";
    EXPECT_FALSE(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP)) << "input translation";
    EXPECT_FALSE(t.c_oflag & OPOST) << "output translation";
    EXPECT_FALSE(t.c_lflag & (ECHO | ICANON | ISIG | IEXTEN)) << "terminal line editing";
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST_F(LineSettings, AreRaw8N1At19200AfterTheProgramsSetUp) {
    openUnitPort();
    expectRaw8N1At19200(line());
    // The far end sees the same line: the pseudo-terminal's master reports the slave's settings.
    termios far{};
    ASSERT_EQ(::tcgetattr(pty.masterFd(), &far), 0);
    expectRaw8N1At19200(far);
}

TEST_F(LineSettings, OpeningAloneGivesRaw8N1At19200) {
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0);
    expectRaw8N1At19200(line());
}

// A pseudo-terminal always keeps eight data bits and no parity whatever is asked, so what can
// be read back here is the stop bits and the choice between odd and even parity.
TEST_F(LineSettings, ParmsAppliesStopBitsAndParitySense) {
    openUnitPort();
    ASSERT_EQ(lib->SioParms(0, 2, 1, 7), 0);  // even parity, two stop bits, seven data bits
    termios t = line();
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & PARODD);
    ASSERT_EQ(lib->SioParms(0, 1, 0, 5), 0);  // odd parity, one stop bit, five data bits
    t = line();
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & PARODD);
    ASSERT_EQ(lib->SioParms(0, 0, 0, 8), 0);
    t = line();
    EXPECT_FALSE(t.c_cflag & (CSTOPB | PARODD | PARENB));
    expectRaw8N1At19200(t);
}

TEST_F(LineSettings, ParmsRefusesWhatNoLineCarries) {
    openUnitPort();
    EXPECT_LT(lib->SioParms(0, 3, 0, 8), 0);
    EXPECT_LT(lib->SioParms(0, 0, 2, 8), 0);
    EXPECT_LT(lib->SioParms(0, 0, 0, 9), 0);
    EXPECT_LT(lib->SioParms(0, 0, 0, 4), 0);
    expectRaw8N1At19200(line());
}

TEST_F(LineSettings, SpeedCodesGiveTheirSpeeds) {
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0);
    const std::pair<int, speed_t> codes[] = {
        {0, B300},  {1, B600},   {2, B1200},  {3, B2400},   {4, B4800},
        {5, B9600}, {7, B38400}, {8, B57600}, {9, B115200}, {6, B19200},
    };
    for (const auto& [code, speed] : codes) {
        ASSERT_EQ(lib->SioBaud(0, code), 0) << "code " << code;
        const termios t = line();
        EXPECT_EQ(cfgetospeed(&t), speed) << "code " << code;
        EXPECT_EQ(cfgetispeed(&t), speed) << "code " << code;
    }
}

TEST_F(LineSettings, UnknownSpeedCodeFailsAndKeepsTheSpeed) {
    openUnitPort();
    EXPECT_LT(lib->SioBaud(0, 10), 0);
    EXPECT_LT(lib->SioBaud(0, -1), 0);
    expectRaw8N1At19200(line());
}

}  // namespace
}  // namespace ondo::testing
