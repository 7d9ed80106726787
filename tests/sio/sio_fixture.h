#pragma once
// The real POSIX serial library over pseudo-terminals: each test maps some of COM1 to COM9 to
// the slave sides of its own pairs and plays the unit on the master sides.

#include <gtest/gtest.h>
#include <poll.h>

#include <array>
#include <chrono>
#include <memory>
#include <string>

#include "link/sio.h"
#include "support/pty.h"

namespace ondo::testing {

// Which device each library port number stands for; empty for none.
struct PortMap {
    std::array<std::string, 12> devices;
    int asked = 0;  // how often the library asked

    static std::string resolve(int port, void* context) {
        auto* map = static_cast<PortMap*>(context);
        ++map->asked;
        if (port < 0 || port >= static_cast<int>(map->devices.size())) return {};
        return map->devices[static_cast<std::size_t>(port)];
    }
};

class SioTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok()) << "no pseudo-terminal could be opened";
        map.devices[0] = pty.slavePath();
        lib = sio::makePlatformLibrary(&PortMap::resolve, &map);
    }

    // Opens COM1 as the program does: queues 8192 and 256, then 8N1 at 19,200 bit/s.
    void openUnitPort() {
        ASSERT_EQ(lib->SioReset(0, 8192, 256), 0) << lastError();
        ASSERT_EQ(lib->SioParms(0, 0, 0, 8), 0);
        ASSERT_EQ(lib->SioBaud(0, 6), 0);
    }

    std::string lastError() {
        std::array<char, 128> text{};
        lib->SioWinError(text.data(), static_cast<int>(text.size()));
        return text.data();
    }

    // Waits (bounded, for hangs only) until the library reports at least count waiting bytes;
    // returns the last count it reported.
    int waitForBytes(int port, int count) {
        const auto deadline = std::chrono::steady_clock::now() + Pty::kGenerousWait;
        int waiting = lib->SioRxQue(port);
        while (waiting < count && std::chrono::steady_clock::now() < deadline) {
            pollfd poller{lib->waitHandle(port), POLLIN, 0};
            if (poller.fd < 0) break;
            ::poll(&poller, 1, 50);
            waiting = lib->SioRxQue(port);
        }
        return waiting;
    }

    // Takes count bytes as the link does (SioRxQue, then SioGetc), waiting for them as needed.
    std::string takeBytes(int port, std::size_t count) {
        std::string got;
        while (got.size() < count && waitForBytes(port, 1) > 0) {
            const int byte = lib->SioGetc(port);
            if (byte < 0) break;
            got.push_back(static_cast<char>(byte));
        }
        return got;
    }

    Pty pty;
    PortMap map;
    std::unique_ptr<sio::SerialLibrary> lib;
};

// Every byte value once, 0x00 to 0xFF: holds XON 0x11, XOFF 0x13, CR 0x0D and LF 0x0A.
inline std::string allByteValues() {
    std::string bytes;
    for (int value = 0; value < 256; ++value) bytes.push_back(static_cast<char>(value));
    return bytes;
}

}  // namespace ondo::testing
