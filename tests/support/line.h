// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The far end of a serial line for tests: a pseudo-terminal pair of its own (the code under test
// opens slavePath()) or a device opened by path. Every wait is bounded: a hung peer fails a test.

#include <chrono>
#include <string>
#include <string_view>

namespace ondo::testing {

using namespace std::chrono_literals;

class Line {
  public:
    static constexpr std::chrono::milliseconds kPatience{10000};  // only a hang waits this long

    Line();                                  // a raw pair; this end is the master
    explicit Line(const std::string& path);  // a device, opened raw and non-blocking
    ~Line();
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    int fd() const { return fd_; }
    int slaveFd() const { return slave_; }

    bool send(std::string_view bytes);
    std::string readCount(std::size_t count, std::chrono::milliseconds wait = kPatience);
    std::string readFor(std::chrono::milliseconds span);  // everything that comes meanwhile
    void close();  // this end goes away, as a pulled adapter: the slave side hangs up
    // The simulated unit's readings stopped: "tf" and its whole reply came back.
    bool quiet();

  private:
    bool fill(std::chrono::milliseconds wait);
    int fd_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::string buffer_;
};

// Bytes first, first + 1, ... (wrapping at 256).
std::string counting(std::size_t size, int first = 0);

}  // namespace ondo::testing
