// Bytes both ways, the receive queue, and the descriptor a wait sleeps on.

#include <poll.h>

#include "sio/sio_fixture.h"

namespace ondo::testing {
namespace {

using Sending = SioTest;

TEST_F(Sending, EveryByteValueLeavesUnchanged) {
    openUnitPort();
    const std::string bytes = allByteValues();
    for (unsigned char byte : bytes) ASSERT_EQ(lib->SioPutc(0, byte), 0) << "byte " << int(byte);
    EXPECT_EQ(pty.read(bytes.size()), bytes);
}

// A wait that times out right after a send hands on the send's result as if it were a byte;
// a success that read as 0x21 would pass for the bootloader's "!".
TEST_F(Sending, SuccessIsZeroNotTheByteSent) {
    openUnitPort();
    EXPECT_EQ(lib->SioPutc(0, '!'), 0);
    EXPECT_EQ(lib->SioPutc(0, 0xFF), 0);
    EXPECT_EQ(pty.read(2), "!\xFF");
}

TEST_F(Sending, EachByteLeavesAtOnce) {
    openUnitPort();
    ASSERT_EQ(lib->SioPutc(0, 'b'), 0);
    EXPECT_EQ(pty.read(1), "b") << "held back until later bytes";
}

using Receiving = SioTest;

TEST_F(Receiving, EveryByteValueArrivesUnchangedAndInOrder) {
    openUnitPort();
    const std::string bytes = allByteValues();
    ASSERT_TRUE(pty.write(bytes));
    EXPECT_EQ(takeBytes(0, bytes.size()), bytes);
    EXPECT_EQ(lib->SioRxQue(0), 0);
}

TEST_F(Receiving, QueueCountsWaitingBytesAndGetcTakesTheOldest) {
    openUnitPort();
    EXPECT_EQ(lib->SioRxQue(0), 0);
    EXPECT_EQ(lib->SioGetc(0), sio::kNoByte);
    ASSERT_TRUE(pty.write("V 0024\n"));
    ASSERT_EQ(waitForBytes(0, 7), 7);
    EXPECT_EQ(lib->SioGetc(0), 'V');
    EXPECT_EQ(lib->SioRxQue(0), 6);
    EXPECT_EQ(lib->SioGetc(0), ' ');
    EXPECT_EQ(lib->SioGetc(0), '0');
    EXPECT_EQ(lib->SioRxQue(0), 4);
    EXPECT_EQ(takeBytes(0, 4), "024\n");
    EXPECT_EQ(lib->SioRxQue(0), 0);
    EXPECT_EQ(lib->SioGetc(0), sio::kNoByte);
}

TEST_F(Receiving, SmallQueueLosesNothing) {
    ASSERT_EQ(lib->SioReset(0, 2, 2), 0);  // the queue sizes used while probing
    ASSERT_TRUE(pty.write("ABCDEFG"));
    const int waiting = waitForBytes(0, 2);
    EXPECT_GE(waiting, 1);
    EXPECT_LE(waiting, 2) << "the receive queue holds two bytes";
    EXPECT_EQ(takeBytes(0, 7), "ABCDEFG");
}

TEST_F(Receiving, ClearDropsQueuedBytesAndThoseTheSystemHolds) {
    ASSERT_EQ(lib->SioReset(0, 4, 2), 0);
    ASSERT_TRUE(pty.write("0123456789"));
    ASSERT_EQ(waitForBytes(0, 4), 4);  // four in the queue, six more held by the system
    EXPECT_EQ(lib->SioGetc(0), '0');
    EXPECT_EQ(lib->SioRxClear(0), 0);
    EXPECT_EQ(lib->SioRxQue(0), 0);
    EXPECT_EQ(lib->SioGetc(0), sio::kNoByte);
    ASSERT_TRUE(pty.write(">"));
    EXPECT_EQ(takeBytes(0, 1), ">") << "bytes after the clear arrive";
}

using WaitHandle = SioTest;

TEST_F(WaitHandle, BecomesReadableWhenAByteArrives) {
    openUnitPort();
    pollfd poller{lib->waitHandle(0), POLLIN, 0};
    ASSERT_GE(poller.fd, 0);
    EXPECT_EQ(::poll(&poller, 1, 0), 0) << "readable with nothing received";
    ASSERT_TRUE(pty.write("!"));
    ASSERT_EQ(::poll(&poller, 1, static_cast<int>(Pty::kGenerousWait.count())), 1);
    EXPECT_TRUE(poller.revents & POLLIN);
    EXPECT_EQ(lib->SioRxQue(0), 1);
    EXPECT_EQ(lib->SioGetc(0), '!');
    // Taken bytes no longer wake a wait: a descriptor left readable would make it spin.
    EXPECT_EQ(::poll(&poller, 1, 0), 0);
}

using DeviceGone = SioTest;

TEST_F(DeviceGone, ReadingReportsTheOperatingSystemError) {
    openUnitPort();
    pty.closeMaster();
    EXPECT_EQ(lib->SioRxQue(0), sio::kOsError);
    EXPECT_EQ(lastError(), "Input/output error");
    EXPECT_EQ(lib->SioRxQue(0), sio::kOsError) << "the device stays gone";
    EXPECT_EQ(lib->SioGetc(0), sio::kNoByte);
}

TEST_F(DeviceGone, SendingReportsTheOperatingSystemError) {
    openUnitPort();
    pty.closeMaster();
    EXPECT_EQ(lib->SioPutc(0, 'x'), sio::kOsError);
    EXPECT_EQ(lastError(), "Input/output error");
    EXPECT_EQ(lib->SioPutc(0, 'x'), sio::kOsError);
}

TEST_F(DeviceGone, WaitHandleIsWithdrawn) {
    openUnitPort();
    ASSERT_GE(lib->waitHandle(0), 0);
    pty.closeMaster();
    EXPECT_EQ(lib->waitHandle(0), -1) << "a hung-up descriptor is always readable";
    EXPECT_EQ(lib->SioRxQue(0), sio::kOsError);
    EXPECT_EQ(lib->waitHandle(0), -1);
}

TEST_F(DeviceGone, PortCanStillBeClosedAndTheLibraryGoesOn) {
    openUnitPort();
    pty.closeMaster();
    EXPECT_EQ(lib->SioRxQue(0), sio::kOsError);
    EXPECT_EQ(lib->SioDone(0), 0);
    Pty replacement;  // the adapter plugged in again
    ASSERT_TRUE(replacement.ok());
    map.devices[0] = replacement.slavePath();
    openUnitPort();
    ASSERT_TRUE(replacement.write("t"));
    EXPECT_EQ(takeBytes(0, 1), "t");
}

}  // namespace
}  // namespace ondo::testing
