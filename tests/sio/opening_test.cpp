// Opening and closing ports: results, the system's error texts, exclusive access, probing.

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "sio/sio_fixture.h"

namespace ondo::testing {
namespace {

constexpr char kBusyText[] = "Device or resource busy";

// True when another descriptor can take the device's lock now, that is, nobody holds it.
bool lockIsFree(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

using Opening = SioTest;

TEST_F(Opening, OpensAPseudoTerminalAndReportsZero) {
    EXPECT_EQ(lib->SioReset(0, 8192, 256), 0) << lastError();
    EXPECT_GE(lib->waitHandle(0), 0);
    EXPECT_EQ(lib->SioDone(0), 0);
}

TEST_F(Opening, AsksThePortMapAtEachOpen) {
    ASSERT_EQ(lib->SioReset(0, 2, 2), 0);
    ASSERT_EQ(lib->SioDone(0), 0);
    Pty other;
    ASSERT_TRUE(other.ok());
    map.devices[0] = other.slavePath();  // the map changed between two opens
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0);
    ASSERT_EQ(lib->SioPutc(0, 'Q'), 0);
    EXPECT_EQ(other.read(1), "Q");
    EXPECT_FALSE(pty.readable());
}

TEST_F(Opening, PortWithNoDeviceOrOutsideComOneToNineFails) {
    EXPECT_LT(lib->SioReset(1, 2, 2), 0);  // the map names no device for COM2
    EXPECT_LT(lib->SioReset(-1, 2, 2), 0);
    map.devices[9] = pty.slavePath();  // COM10 is never a port, whatever the map says
    EXPECT_LT(lib->SioReset(9, 2, 2), 0);
    EXPECT_EQ(lib->waitHandle(9), -1);
}

TEST_F(Opening, MissingDeviceFailsWithTheSystemText) {
    map.devices[2] = "/dev/ondo-no-such-device";
    EXPECT_EQ(lib->SioReset(2, 8192, 256), sio::kOsError);
    EXPECT_EQ(lastError(), "No such file or directory");
    EXPECT_EQ(lib->waitHandle(2), -1);
}

TEST_F(Opening, DeviceThatIsNoTerminalFailsAndIsLeftUnlocked) {
    const auto file =
        std::filesystem::temp_directory_path() / ("ondo-sio-plain-" + std::to_string(::getpid()));
    std::ofstream(file) << "not a serial port";
    map.devices[0] = file.string();
    EXPECT_EQ(lib->SioReset(0, 8192, 256), sio::kOsError);
    EXPECT_EQ(lastError(), "Inappropriate ioctl for device");
    EXPECT_TRUE(lockIsFree(file.string()));
    std::filesystem::remove(file);
}

TEST_F(Opening, PortLockedByAnotherDescriptorIsBusy) {
    const int holder = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(lib->SioReset(0, 2, 2), sio::kOsError);
    EXPECT_EQ(lastError(), kBusyText);
    ::close(holder);
    EXPECT_EQ(lib->SioReset(0, 2, 2), 0) << "a freed port opens again";
}

// A child process holds the port as another program would, until the test lets it go.
TEST_F(Opening, PortHeldByAnotherProcessIsBusy) {
    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(release[1]);
        ::close(ready[0]);
        const int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
        const char held = (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) ? 'y' : 'n';
        (void)!::write(ready[1], &held, 1);
        char go;
        (void)!::read(release[0], &go, 1);  // ends when the parent writes or closes
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    pollfd answer{ready[0], POLLIN, 0};
    ASSERT_EQ(::poll(&answer, 1, static_cast<int>(Pty::kGenerousWait.count())), 1);
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    ASSERT_EQ(held, 'y');
    EXPECT_EQ(lib->SioReset(0, 8192, 256), sio::kOsError);
    EXPECT_EQ(lastError(), kBusyText);
    ::close(release[1]);
    ::close(ready[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(lib->SioReset(0, 8192, 256), 0) << lastError();
}

TEST_F(Opening, PortOpenInAnotherLibraryIsBusyUntilClosed) {
    auto program = sio::makePlatformLibrary(&PortMap::resolve, &map);
    ASSERT_EQ(program->SioReset(0, 8192, 256), 0);
    EXPECT_EQ(lib->SioReset(0, 2, 2), sio::kOsError);
    EXPECT_EQ(lastError(), kBusyText);
    ASSERT_EQ(program->SioDone(0), 0);
    EXPECT_EQ(lib->SioReset(0, 2, 2), 0) << lastError();
}

TEST_F(Opening, ReopeningAnOpenPortClosesItFirst) {
    ASSERT_EQ(lib->SioReset(0, 2, 2), 0);
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0) << lastError();
    ASSERT_EQ(lib->SioDone(0), 0);
    EXPECT_TRUE(lockIsFree(pty.slavePath())) << "the first descriptor was left open";
}

// The device of a user outside the group that owns serial ports. Permissions do not apply to
// root, so when the tests run as root this check runs in a child process that has given up
// root for the "nobody" account; it is skipped only where that is not possible.
TEST_F(Opening, DeviceWithoutPermissionFailsWithTheSystemText) {
    ASSERT_EQ(::chmod(pty.slavePath().c_str(), 0), 0);
    if (::geteuid() != 0) {
        EXPECT_EQ(lib->SioReset(0, 8192, 256), sio::kOsError);
        EXPECT_EQ(lastError(), "Permission denied");
        return;
    }
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody) GTEST_SKIP() << "running as root and no unprivileged account to test with";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0) ::_exit(2);
        const bool refused =
            lib->SioReset(0, 8192, 256) == sio::kOsError && lastError() == "Permission denied";
        ::_exit(refused ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "running as root and unable to drop root";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "opened without permission, or another error text";
}

TEST_F(Opening, ProbingOpensAndClosesEveryPortInQuickSuccession) {
    Pty second, third;
    ASSERT_TRUE(second.ok() && third.ok());
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
    EXPECT_TRUE(lockIsFree(pty.slavePath()));
    EXPECT_TRUE(lockIsFree(second.slavePath()));
    EXPECT_TRUE(lockIsFree(third.slavePath()));
}

TEST_F(Opening, SeveralOpenPortsKeepTheirOwnLines) {
    Pty second;
    ASSERT_TRUE(second.ok());
    map.devices[4] = second.slavePath();
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0);
    ASSERT_EQ(lib->SioReset(4, 8192, 256), 0);
    ASSERT_TRUE(pty.write("1"));
    ASSERT_TRUE(second.write("5"));
    EXPECT_EQ(takeBytes(0, 1), "1");
    EXPECT_EQ(takeBytes(4, 1), "5");
    ASSERT_EQ(lib->SioPutc(4, 'e'), 0);
    ASSERT_EQ(lib->SioPutc(0, 'a'), 0);
    EXPECT_EQ(pty.read(1), "a");
    EXPECT_EQ(second.read(1), "e");
}

using Closing = SioTest;

TEST_F(Closing, SioDoneOnAPortNotOpenIsNegative) {
    EXPECT_LT(lib->SioDone(0), 0);
    EXPECT_LT(lib->SioDone(12), 0);
    ASSERT_EQ(lib->SioReset(0, 2, 2), 0);
    ASSERT_EQ(lib->SioDone(0), 0);
    EXPECT_LT(lib->SioDone(0), 0) << "closed twice";
}

TEST_F(Closing, SioDoneReleasesThePort) {
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0);
    EXPECT_FALSE(lockIsFree(pty.slavePath()));
    ASSERT_EQ(lib->SioDone(0), 0);
    EXPECT_TRUE(lockIsFree(pty.slavePath()));
    EXPECT_EQ(lib->waitHandle(0), -1);
}

TEST_F(Closing, ReopeningWorksAfterSioDone) {
    openUnitPort();
    ASSERT_EQ(lib->SioDone(0), 0);
    openUnitPort();
    ASSERT_TRUE(pty.write("R"));
    EXPECT_EQ(takeBytes(0, 1), "R");
    EXPECT_EQ(lib->SioPutc(0, 'T'), 0);
    EXPECT_EQ(pty.read(1), "T");
}

TEST_F(Closing, DestroyingTheLibraryReleasesItsPorts) {
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0);
    lib.reset();
    EXPECT_TRUE(lockIsFree(pty.slavePath()));
}

TEST_F(Closing, CallsOnAPortNotOpenFail) {
    EXPECT_EQ(lib->SioParms(0, 0, 0, 8), sio::kNotOpen);
    EXPECT_EQ(lib->SioBaud(0, 6), sio::kNotOpen);
    EXPECT_EQ(lib->SioPutc(0, 'x'), sio::kNotOpen);
    EXPECT_EQ(lib->SioRxQue(0), sio::kNotOpen);
    EXPECT_LT(lib->SioGetc(0), 0);
    EXPECT_LT(lib->SioRxClear(0), 0);
    EXPECT_EQ(lib->waitHandle(0), -1);
    EXPECT_FALSE(pty.readable()) << "nothing may reach a line that is not open";
}

using ErrorText = SioTest;

TEST_F(ErrorText, IsCutToTheBufferAndAlwaysTerminated) {
    map.devices[0] = "/dev/ondo-no-such-device";
    ASSERT_EQ(lib->SioReset(0, 8192, 256), sio::kOsError);
    std::array<char, 8> text;
    text.fill('Z');
    EXPECT_EQ(lib->SioWinError(text.data(), 5), 4);
    EXPECT_STREQ(text.data(), "No s");
    EXPECT_EQ(text[5], 'Z') << "wrote past the length given";
    std::array<char, 128> full{};
    const int length = lib->SioWinError(full.data(), 128);
    EXPECT_EQ(length, static_cast<int>(std::strlen(full.data())));
    EXPECT_STREQ(full.data(), "No such file or directory");
}

TEST_F(ErrorText, KeepsTheLastErrorAcrossSuccessfulCalls) {
    map.devices[1] = "/dev/ondo-no-such-device";
    ASSERT_EQ(lib->SioReset(1, 8192, 256), sio::kOsError);
    ASSERT_EQ(lib->SioReset(0, 8192, 256), 0);
    EXPECT_EQ(lastError(), "No such file or directory");
}

}  // namespace
}  // namespace ondo::testing
