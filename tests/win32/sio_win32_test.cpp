// SPDX-License-Identifier: GPL-3.0-or-later
// The Win32 serial backend (src/link/sio_win32.cpp) on COM ports, built with the MinGW cross
// compiler and run under Wine by run_wine.sh, which maps COM1 to a pseudo-terminal whose far end
// (pty_peer.py) sends every byte back and writes the line's speed, stop bits and flow control to
// ONDO_WINE_PEER_DIR/line, COM2 to ondo-unit-sim (started as ONDO_WINE_SIM_VERSION) and COM3 to
// a device path that does not exist. What both backends share is checked on the POSIX one.
//
// Where Wine differs from Windows: any number of programs open the same pseudo-terminal (only the
// backend's own claim refuses a second user of the library); a port mapped to a missing device
// opens and fails its first communications call (the test takes the system's code from its own
// attempt); Linux keeps a pseudo-terminal at 8 data bits without parity; the queue sizes are not
// used; XON/XOFF flow control is acted on (a wrong fOutX swallows 0x11 and 0x13 and stalls).

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "link/sio.h"

namespace {

using namespace std::chrono_literals;
constexpr int kEcho = 0, kUnit = 1, kMissing = 2;  // COM1, COM2, COM3

std::unique_ptr<sio::SerialLibrary> library() {
    return sio::makePlatformLibrary([](int, void*) { return std::string(); }, nullptr);
}

std::string lastError(sio::SerialLibrary& lib) {
    char text[256] = {};
    lib.SioWinError(text, sizeof text);
    return text;
}

// The system's own text for an error code, without its line end.
std::string systemText(DWORD code) {
    char text[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, sizeof text, nullptr);
    while (length > 0 && std::isspace(static_cast<unsigned char>(text[length - 1]))) --length;
    return std::string(text, length);
}

bool send(sio::SerialLibrary& lib, int port, const std::string& bytes) {
    for (unsigned char c : bytes)
        if (lib.SioPutc(port, c) != sio::kOk) return false;
    return true;
}

// Reads until the text has count bytes or ends with tail; only a hang waits the ten seconds.
std::string receive(sio::SerialLibrary& lib, int port, std::size_t count, std::string tail = "") {
    std::string got;
    for (auto end = std::chrono::steady_clock::now() + 10s;
         got.size() < count && !(tail.size() && got.ends_with(tail)) &&
         std::chrono::steady_clock::now() < end;) {
        if (const int byte = lib.SioGetc(port); byte >= 0)
            got += static_cast<char>(byte);
        else
            std::this_thread::sleep_for(1ms);
    }
    return got;
}

// A port mapped to a missing device; a port held by another user of the library (two in one
// program stand for the window and the command line) until it is closed.
TEST(Ports, OpenAndItsRefusalsWithTheSystemsText) {
    HANDLE handle = CreateFileA("\\\\.\\COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    // The system's code for COM3 from the test's own attempt to open it and set it up.
    const DWORD missing =
        handle == INVALID_HANDLE_VALUE || !SetupComm(handle, 1024, 1024) ? GetLastError() : 0;
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    auto lib = library(), other = library();
    EXPECT_EQ(lib->SioReset(kMissing, 1024, 1024), sio::kOsError);
    EXPECT_EQ(lastError(*lib), systemText(missing));
    ASSERT_EQ(lib->SioReset(kEcho, 1024, 1024), 0);
    EXPECT_EQ(other->SioReset(kEcho, 1024, 1024), sio::kOsError);
    EXPECT_EQ(lastError(*other), systemText(ERROR_ACCESS_DENIED));
    EXPECT_EQ(lib->SioDone(kEcho), 0);
    EXPECT_EQ(other->SioReset(kEcho, 1024, 1024), 0);
}

// Every speed code and two stop bits reach the line, and no flow control (as the far end sees).
TEST(Line, EverySpeedAndTheStopBitsReachThePseudoTerminal) {
    auto lib = library();
    ASSERT_EQ(lib->SioReset(kEcho, 1024, 1024), 0);
    const auto settings = [&] {
        EXPECT_TRUE(send(*lib, kEcho, "x") && receive(*lib, kEcho, 1) == "x");
        std::string line;
        std::getline(std::ifstream("Z:" + std::string(std::getenv("ONDO_WINE_PEER_DIR")) + "/line"),
                     line);
        return line;
    };
    EXPECT_EQ(settings(), "19200 1") << "as the port opens";
    const int speeds[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600};
    for (int code = 0; code < 9; ++code) {
        ASSERT_EQ(lib->SioBaud(kEcho, code), 0);
        EXPECT_EQ(settings(), std::to_string(speeds[code]) + " 1");
    }
    ASSERT_EQ(lib->SioParms(kEcho, 0, 1, 8) + lib->SioBaud(kEcho, 9), 0);
    EXPECT_EQ(settings(), "115200 2");
}

// Every value both ways (NUL, XON and XOFF, CR, LF, EOF, ESC and the high bit among them) and
// counted; a clear discards what waits and later bytes still arrive; a closed port refuses every
// call until reopened.
TEST(Bytes, EveryValueBothWaysClearAndClose) {
    auto lib = library();
    ASSERT_EQ(lib->SioReset(kEcho, 1024, 1024), 0);
    std::string every;
    for (int value = 0; value < 256; ++value) every += static_cast<char>(value);
    for (const int count : {256, 512}) {  // every value twice, counted as it arrives
        ASSERT_TRUE(send(*lib, kEcho, every));
        for (int i = 0; i < 10000 && lib->SioRxQue(kEcho) < count; ++i)
            std::this_thread::sleep_for(1ms);
        EXPECT_EQ(lib->SioRxQue(kEcho), count);
    }
    EXPECT_EQ(receive(*lib, kEcho, 256), every);
    EXPECT_EQ(lib->SioRxClear(kEcho), sio::kOk);  // the second copy waits
    EXPECT_EQ(lib->SioRxQue(kEcho) * 1000 + lib->SioGetc(kEcho), sio::kNoByte);
    ASSERT_TRUE(send(*lib, kEcho, "\x5A\xA5"));
    EXPECT_EQ(receive(*lib, kEcho, 2), "\x5A\xA5");
    ASSERT_EQ(lib->SioDone(kEcho), 0);
    for (const int result :
         std::initializer_list<int>{lib->SioDone(kEcho), lib->SioPutc(kEcho, 'x'),
                                    lib->SioRxClear(kEcho), lib->SioRxQue(kEcho)})
        EXPECT_EQ(result, sio::kNotOpen);
    ASSERT_EQ(lib->SioReset(kEcho, 1024, 1024), 0);
    ASSERT_TRUE(send(*lib, kEcho, "\xA5"));
    EXPECT_EQ(receive(*lib, kEcho, 1), "\xA5");
}

// The link's first exchanges as it drives the library (Qt for Windows is not at hand here): "tf"
// stops the readings, "v" asks for the version; the unit echoes and answers LF, text, CR, LF.
TEST(Unit, AnswersTheGreetingAndTheVersionQuery) {
    auto lib = library();
    ASSERT_EQ(lib->SioReset(kUnit, 1024, 1024), 0);
    ASSERT_EQ(lib->SioParms(kUnit, 0, 0, 8) + lib->SioBaud(kUnit, 6), 0);
    ASSERT_TRUE(send(*lib, kUnit, "tf\r"));
    EXPECT_TRUE(receive(*lib, kUnit, 1 << 20, "\nT 0\r\n").ends_with("tf\r\nT 0\r\n"));
    ASSERT_TRUE(send(*lib, kUnit, "v\r"));
    const std::string expected = "v\r\nV " + std::string(std::getenv("ONDO_WINE_SIM_VERSION"));
    EXPECT_EQ(receive(*lib, kUnit, expected.size() + 2), expected + "\r\n");
}

}  // namespace
