// The Win32 serial backend (src/link/sio_win32.cpp) on COM ports, built with the MinGW cross
// compiler and run under Wine by run_wine.sh, which maps the ports to pseudo-terminals:
//   COM1  the peer's "hex" line: answers each byte with its value as two hex digits
//   COM2  the peer's "unhex" line: answers each two hex digits with the byte they name
//   COM3  ondo-unit-sim
//   COM4  a device path that does not exist
// ONDO_WINE_PEER_DIR is the peer's folder (as a Unix path; Wine shows it on drive Z:), where it
// writes the line settings it finds; ONDO_WINE_SIM_VERSION is the version the simulated unit was
// started with.
//
// Where Wine differs from Windows: any number of programs open the same pseudo-terminal (only the
// backend's own claim refuses a second user of the library); a port mapped to a missing device
// opens and fails its first communications call (the test takes the system's code from its own
// attempt); Linux keeps a pseudo-terminal at 8 data bits without parity, so only the speed and the
// stop bits are seen at the far end; the queue sizes are not used; fNull and fErrorChar are not
// acted on, but XON/XOFF flow control is (a wrong fInX or fOutX swallows 0x11 and 0x13).

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

#include "link/sio.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kHex = 0;      // COM1
constexpr int kUnhex = 1;    // COM2
constexpr int kUnit = 2;     // COM3
constexpr int kMissing = 3;  // COM4
// Long enough for a loaded, shared machine; only a hang ever waits this long.
constexpr auto kGenerousWait = 10s;

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
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
    while (length > 0 &&
           (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ')) {
        --length;
    }
    return std::string(text, length);
}

std::string hexText(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : bytes) {
        text += kDigits[c >> 4];
        text += kDigits[c & 0x0F];
    }
    return text;
}

// Reads until done(what came) holds or the wait has passed.
template <class Done>
std::string receiveWhileNot(sio::SerialLibrary& lib, int port, Done done,
                            Clock::duration wait = kGenerousWait) {
    std::string got;
    const auto end = Clock::now() + wait;
    while (!done(got) && Clock::now() < end) {
        const int byte = lib.SioGetc(port);
        if (byte >= 0) {
            got += static_cast<char>(byte);
        } else {
            std::this_thread::sleep_for(1ms);
        }
    }
    return got;
}

// Reads until count bytes have come or the wait has passed.
std::string receive(sio::SerialLibrary& lib, int port, std::size_t count,
                    Clock::duration wait = kGenerousWait) {
    return receiveWhileNot(
        lib, port, [count](const std::string& got) { return got.size() >= count; }, wait);
}

// Reads until the text ends with tail or the wait has passed.
std::string receiveUntil(sio::SerialLibrary& lib, int port, const std::string& tail) {
    return receiveWhileNot(lib, port,
                           [&tail](const std::string& got) { return got.ends_with(tail); });
}

bool send(sio::SerialLibrary& lib, int port, const std::string& bytes) {
    for (unsigned char c : bytes) {
        if (lib.SioPutc(port, c) != 0) return false;
    }
    return true;
}

// Waits until the receive count reaches count; returns the last count seen.
int waitForCount(sio::SerialLibrary& lib, int port, int count) {
    const auto end = Clock::now() + kGenerousWait;
    int seen = lib.SioRxQue(port);
    while (seen < count && Clock::now() < end) {
        std::this_thread::sleep_for(1ms);
        seen = lib.SioRxQue(port);
    }
    return seen;
}

// The hex line's settings as the peer last found them on the pseudo-terminal.
std::string peerLineSettings() {
    std::ifstream file("Z:" + environment("ONDO_WINE_PEER_DIR") + "/hex.line");
    std::string text;
    std::getline(file, text);
    return text;
}

// --- Opening and refusing ----------------------------------------------------------------------

// The error the system gives for opening the port directly and setting up its queues; 0 when
// both work. (Wine opens a port mapped to a missing device, and fails its first communications
// call.)
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

// Failures name the row.
void PrintTo(const OpenCase& c, std::ostream* out) {
    *out << c.name;
}

class Open : public testing::TestWithParam<OpenCase> {};

TEST_P(Open, GivesTheResultAndTheSystemsText) {
    const OpenCase& c = GetParam();
    const DWORD error = c.result == sio::kOsError ? openError(c.port) : 0;
    auto lib = library();
    EXPECT_EQ(lib->SioReset(c.port, 1024, 1024), c.result);
    if (c.result == sio::kOsError) {
        ASSERT_NE(error, 0u);
        EXPECT_EQ(lastError(*lib), systemText(error));
    }
    if (c.result == 0) {
        EXPECT_EQ(lib->SioDone(c.port), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Ports, Open,
                         testing::Values(OpenCase{"com1_on_a_pseudo_terminal", kHex, 0},
                                         OpenCase{"com3_on_the_simulated_unit", kUnit, 0},
                                         OpenCase{"com4_mapped_to_a_missing_device", kMissing,
                                                  sio::kOsError},
                                         OpenCase{"below_com1", -1, sio::kNoSuchPort},
                                         OpenCase{"above_com9", 9, sio::kNoSuchPort}),
                         [](const auto& info) { return std::string(info.param.name); });

// Two users of the library in one program stand for two programs (the window and the command
// line, say): Wine lets a second program open the port, so only the backend's claim is seen.
TEST(Held, APortOpenInAnotherLibraryIsRefusedUntilClosed) {
    auto holder = library();
    auto other = library();
    ASSERT_EQ(holder->SioReset(kHex, 1024, 1024), 0);
    EXPECT_EQ(other->SioReset(kHex, 1024, 1024), sio::kOsError);
    EXPECT_EQ(lastError(*other), systemText(ERROR_ACCESS_DENIED));
    EXPECT_EQ(holder->SioDone(kHex), 0);
    EXPECT_EQ(other->SioReset(kHex, 1024, 1024), 0);
    EXPECT_EQ(other->SioDone(kHex), 0);
}

// --- Line settings -----------------------------------------------------------------------------

struct LineCase {
    const char* name;
    int parity, stopBits, dataBits, speedCode;
    int result;            // of the call that is refused, or 0
    const char* settings;  // as the peer finds them on the line afterwards
};

// Failures name the row.
void PrintTo(const LineCase& c, std::ostream* out) {
    *out << c.name;
}

class Line : public testing::TestWithParam<LineCase> {};

TEST_P(Line, ReachesThePseudoTerminalOrLeavesItAsItWas) {
    const LineCase& c = GetParam();
    auto lib = library();
    ASSERT_EQ(lib->SioReset(kHex, 1024, 1024), 0);
    const int parms = lib->SioParms(kHex, c.parity, c.stopBits, c.dataBits);
    const int baud = lib->SioBaud(kHex, c.speedCode);
    EXPECT_EQ(parms < 0 ? parms : baud, c.result);
    ASSERT_EQ(lib->SioPutc(kHex, 'x'), 0);
    EXPECT_EQ(receive(*lib, kHex, 2), "78");
    EXPECT_EQ(peerLineSettings(), c.settings);
    EXPECT_EQ(lib->SioDone(kHex), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, Line,
    testing::Values(LineCase{"the_units_8n1_at_19200", 0, 0, 8, 6, 0, "19200 8 N 1"},
                    LineCase{"8n2_at_115200", 0, 1, 8, 9, 0, "115200 8 N 2"},
                    LineCase{"parity_3_refused", 3, 0, 8, 6, sio::kBadArgument, "19200 8 N 1"},
                    LineCase{"9_data_bits_refused", 0, 0, 9, 6, sio::kBadArgument, "19200 8 N 1"},
                    LineCase{"speed_code_10_refused", 0, 0, 8, 10, sio::kBadArgument,
                             "19200 8 N 1"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Bytes both ways ---------------------------------------------------------------------------

std::string everyValue() {
    std::string bytes;
    for (int value = 0; value < 256; ++value) bytes += static_cast<char>(value);
    return bytes;
}

class Bytes : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(lib_->SioReset(kHex, 1024, 1024), 0);
        ASSERT_EQ(lib_->SioReset(kUnhex, 1024, 1024), 0);
    }
    std::unique_ptr<sio::SerialLibrary> lib_ = library();
};

// NUL, XON and XOFF, CR, LF, EOF, ESC and the high bit among them.
TEST_F(Bytes, EveryValueLeavesUnchanged) {
    ASSERT_TRUE(send(*lib_, kHex, everyValue()));
    EXPECT_EQ(receive(*lib_, kHex, 512), hexText(everyValue()));
}

TEST_F(Bytes, EveryValueArrivesUnchangedAndCounted) {
    ASSERT_TRUE(send(*lib_, kUnhex, hexText(everyValue())));
    EXPECT_EQ(waitForCount(*lib_, kUnhex, 256), 256);
    EXPECT_EQ(receive(*lib_, kUnhex, 256), everyValue());
    EXPECT_EQ(lib_->SioRxQue(kUnhex), 0);
    EXPECT_EQ(lib_->SioGetc(kUnhex), sio::kNoByte);
}

// --- Clearing, closing and reopening -----------------------------------------------------------

TEST(Clear, DiscardsWhatWaitsAndLaterBytesStillArrive) {
    auto lib = library();
    ASSERT_EQ(lib->SioReset(kUnhex, 1024, 1024), 0);
    const std::string waiting = everyValue().substr(0, 100);
    ASSERT_TRUE(send(*lib, kUnhex, hexText(waiting)));
    ASSERT_EQ(waitForCount(*lib, kUnhex, 100), 100);
    EXPECT_EQ(lib->SioRxClear(kUnhex), 0);
    EXPECT_EQ(lib->SioRxQue(kUnhex), 0);
    EXPECT_EQ(lib->SioGetc(kUnhex), sio::kNoByte);
    ASSERT_TRUE(send(*lib, kUnhex, "5AA5"));
    EXPECT_EQ(receive(*lib, kUnhex, 2), "\x5A\xA5");
    EXPECT_EQ(lib->SioDone(kUnhex), 0);
}

TEST(Closed, EveryCallRefusesUntilReopened) {
    auto lib = library();
    ASSERT_EQ(lib->SioReset(kHex, 1024, 1024), 0);
    ASSERT_EQ(lib->SioDone(kHex), 0);
    EXPECT_EQ(lib->SioGetc(kHex), sio::kNoByte);
    for (const int result :
         {lib->SioDone(kHex), lib->SioPutc(kHex, 'x'), lib->SioRxQue(kHex), lib->SioRxClear(kHex),
          lib->SioParms(kHex, 0, 0, 8), lib->SioBaud(kHex, 6)})
        EXPECT_EQ(result, sio::kNotOpen);
    ASSERT_EQ(lib->SioReset(kHex, 1024, 1024), 0);
    ASSERT_EQ(lib->SioPutc(kHex, 0xA5), 0);
    EXPECT_EQ(receive(*lib, kHex, 2), "A5");
    EXPECT_EQ(lib->SioDone(kHex), 0);
}

// --- The simulated unit ------------------------------------------------------------------------

// The link's first exchanges, through the serial library as the link drives it (the link itself
// is Qt-based, and Qt for Windows is not at hand here): "tf" stops the readings, "v" asks for
// the version. The unit echoes every byte and answers LF, the reply text, CR, LF.
TEST(Unit, AnswersTheGreetingAndTheVersionQuery) {
    auto lib = library();
    ASSERT_EQ(lib->SioReset(kUnit, 1024, 1024), 0);
    ASSERT_EQ(lib->SioParms(kUnit, 0, 0, 8), 0);
    ASSERT_EQ(lib->SioBaud(kUnit, 6), 0);
    ASSERT_TRUE(send(*lib, kUnit, "tf\r"));
    // Readings may come before the reply; nothing comes after it.
    const std::string greeting = receiveUntil(*lib, kUnit, "\nT 0\r\n");
    EXPECT_TRUE(greeting.ends_with("tf\r\nT 0\r\n")) << hexText(greeting);
    ASSERT_TRUE(send(*lib, kUnit, "v\r"));
    const std::string expected = "v\r\nV " + environment("ONDO_WINE_SIM_VERSION") + "\r\n";
    EXPECT_EQ(receive(*lib, kUnit, expected.size()), expected);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(lib->SioRxQue(kUnit), 0);
    EXPECT_EQ(lib->SioDone(kUnit), 0);
}

}  // namespace
