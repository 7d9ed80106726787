// The Win32 serial backend (src/link/sio_win32.cpp) on COM ports, built with the MinGW cross
// compiler and run under Wine by run_wine.sh, which maps COM1 to a pseudo-terminal whose far end
// (pty_peer.cpp) sends every byte back and writes the line's speed and stop bits to
// ONDO_WINE_PEER_DIR/line, COM2 to ondo-unit-sim (started as ONDO_WINE_SIM_VERSION) and COM3 to
// a device path that does not exist.
//
// Where Wine differs from Windows: any number of programs open the same pseudo-terminal (only the
// backend's own claim refuses a second user of the library); a port mapped to a missing device
// opens and fails its first communications call (the test takes the system's code from its own
// attempt); Linux keeps a pseudo-terminal at 8 data bits without parity; the queue sizes are not
// used; XON/XOFF flow control is acted on (a wrong fInX or fOutX swallows 0x11 and 0x13).

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

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

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
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (got.size() < count && !(tail.size() && got.ends_with(tail)) &&
           std::chrono::steady_clock::now() < end) {
        const int byte = lib.SioGetc(port);
        if (byte >= 0)
            got += static_cast<char>(byte);
        else
            std::this_thread::sleep_for(1ms);
    }
    return got;
}

std::string everyValue(int count = 256) {
    std::string bytes;
    for (int value = 0; value < count; ++value) bytes += static_cast<char>(value);
    return bytes;
}

// The error the system gives for opening the port directly and setting up its queues.
DWORD openError(int port) {
    const std::string device = "\\\\.\\COM" + std::to_string(port + 1);
    HANDLE handle = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return GetLastError();
    const DWORD error = SetupComm(handle, 1024, 1024) ? 0 : GetLastError();
    CloseHandle(handle);
    return error;
}

struct OpenCase {
    const char* name;
    int port;
    int result;
};
void PrintTo(const OpenCase& c, std::ostream* out) {
    *out << c.name;
}
class Open : public testing::TestWithParam<OpenCase> {};

TEST_P(Open, GivesTheResultAndTheSystemsText) {
    const OpenCase& c = GetParam();
    const DWORD error = c.result == sio::kOsError ? openError(c.port) : 0;
    auto lib = library();
    EXPECT_EQ(lib->SioReset(c.port, 1024, 1024), c.result);
    EXPECT_EQ(lastError(*lib), c.result == sio::kOsError ? systemText(error) : "");
}

INSTANTIATE_TEST_SUITE_P(Ports, Open,
                         testing::Values(OpenCase{"com1_on_a_pseudo_terminal", kEcho, 0},
                                         OpenCase{"com2_on_the_simulated_unit", kUnit, 0},
                                         OpenCase{"com3_mapped_to_a_missing_device", kMissing,
                                                  sio::kOsError},
                                         OpenCase{"com10_is_never_a_port", 9, sio::kNoSuchPort}),
                         [](const auto& info) { return std::string(info.param.name); });

// Two users of the library in one program stand for two programs (the window and the command
// line, say): Wine lets a second program open the port, so only the backend's claim is seen.
TEST(Held, APortOpenInAnotherLibraryIsRefusedUntilClosed) {
    auto holder = library();
    auto other = library();
    ASSERT_EQ(holder->SioReset(kEcho, 1024, 1024), 0);
    EXPECT_EQ(other->SioReset(kEcho, 1024, 1024), sio::kOsError);
    EXPECT_EQ(lastError(*other), systemText(ERROR_ACCESS_DENIED));
    EXPECT_EQ(holder->SioDone(kEcho), 0);
    EXPECT_EQ(other->SioReset(kEcho, 1024, 1024), 0);
}

// Line settings: parity, stop bits, data bits and speed code set, the result of the call refused
// (or 0), and the speed and stop bits the far end finds afterwards.
struct LineCase {
    int parity, stopBits, dataBits, speedCode, result;
    const char* settings;
};
class Line : public testing::TestWithParam<LineCase> {};

TEST_P(Line, ReachesThePseudoTerminalOrLeavesItAsItWas) {
    const LineCase& c = GetParam();
    auto lib = library();
    ASSERT_EQ(lib->SioReset(kEcho, 1024, 1024), 0);
    const int parms = lib->SioParms(kEcho, c.parity, c.stopBits, c.dataBits);
    const int baud = lib->SioBaud(kEcho, c.speedCode);
    EXPECT_EQ(parms < 0 ? parms : baud, c.result);
    ASSERT_TRUE(send(*lib, kEcho, "x"));
    EXPECT_EQ(receive(*lib, kEcho, 1), "x");
    std::string settings;
    std::getline(std::ifstream("Z:" + environment("ONDO_WINE_PEER_DIR") + "/line"), settings);
    EXPECT_EQ(settings, c.settings);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, Line,
    testing::Values(LineCase{0, 0, 8, 0, 0, "300 1"}, LineCase{0, 0, 8, 1, 0, "600 1"},
                    LineCase{0, 0, 8, 2, 0, "1200 1"}, LineCase{0, 0, 8, 3, 0, "2400 1"},
                    LineCase{0, 0, 8, 4, 0, "4800 1"}, LineCase{0, 0, 8, 5, 0, "9600 1"},
                    LineCase{0, 0, 8, 6, 0, "19200 1"}, LineCase{0, 0, 8, 7, 0, "38400 1"},
                    LineCase{0, 0, 8, 8, 0, "57600 1"}, LineCase{0, 1, 8, 9, 0, "115200 2"},
                    LineCase{3, 0, 8, 6, sio::kBadArgument, "19200 1"},
                    LineCase{0, 0, 9, 6, sio::kBadArgument, "19200 1"},
                    LineCase{0, 0, 8, 10, sio::kBadArgument, "19200 1"}),
    [](const auto& info) {
        const LineCase& c = info.param;
        return (c.result ? "refused_" : "code") + std::to_string(c.speedCode) + "_parity" +
               std::to_string(c.parity) + "_data" + std::to_string(c.dataBits);
    });

// Every value both ways (NUL, XON and XOFF, CR, LF, EOF, ESC and the high bit among them) and
// counted; a clear discards what waits and later bytes still arrive; a closed port refuses every
// call until reopened.
TEST(Bytes, EveryValueBothWaysClearAndClose) {
    auto lib = library();
    ASSERT_EQ(lib->SioReset(kEcho, 1024, 1024), 0);
    ASSERT_TRUE(send(*lib, kEcho, everyValue()));
    for (int i = 0; i < 10000 && lib->SioRxQue(kEcho) < 256; ++i) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(lib->SioRxQue(kEcho), 256);
    EXPECT_EQ(receive(*lib, kEcho, 256), everyValue());
    EXPECT_EQ(lib->SioRxQue(kEcho) * 1000 + lib->SioGetc(kEcho), sio::kNoByte);
    ASSERT_TRUE(send(*lib, kEcho, everyValue(100)));
    for (int i = 0; i < 10000 && lib->SioRxQue(kEcho) < 100; ++i) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(lib->SioRxClear(kEcho), sio::kOk);
    EXPECT_EQ(lib->SioRxQue(kEcho) * 1000 + lib->SioGetc(kEcho), sio::kNoByte);
    ASSERT_TRUE(send(*lib, kEcho, "\x5A\xA5"));
    EXPECT_EQ(receive(*lib, kEcho, 2), "\x5A\xA5");
    ASSERT_EQ(lib->SioDone(kEcho), 0);
    EXPECT_EQ(lib->SioGetc(kEcho), sio::kNoByte);
    for (const int result : {lib->SioDone(kEcho), lib->SioPutc(kEcho, 'x'), lib->SioRxClear(kEcho),
                             lib->SioParms(kEcho, 0, 0, 8), lib->SioBaud(kEcho, 6)})
        EXPECT_EQ(result, sio::kNotOpen);
    EXPECT_EQ(lib->SioRxQue(kEcho), sio::kNotOpen);
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
    const std::string expected = "v\r\nV " + environment("ONDO_WINE_SIM_VERSION") + "\r\n";
    EXPECT_EQ(receive(*lib, kUnit, expected.size()), expected);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(lib->SioRxQue(kUnit), 0) << "nothing after the reply";
}

}  // namespace
