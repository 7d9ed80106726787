#pragma once
// The host's end of the simulated unit's line for these tests: plain POSIX reads and writes on
// the pseudo-terminal, with waits bounded so that a silent unit fails a test instead of hanging.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace ondo::simtest {

using namespace std::chrono_literals;

// Longest wait for something that should come; it only matters when the unit is broken.
constexpr std::chrono::seconds kPatience{5};

class Port {
  public:
    explicit Port(const std::string& path);
    ~Port();
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    void send(const std::string& bytes);
    void send(const std::vector<std::uint8_t>& bytes);

    // Everything up to and including the first `pattern`; what follows stays for the next read.
    // On a time-out, everything collected (without the pattern).
    std::string readUntil(const std::string& pattern, std::chrono::milliseconds limit = kPatience);
    // The next `count` bytes, or fewer on a time-out.
    std::string readCount(std::size_t count, std::chrono::milliseconds limit = kPatience);
    // Everything that arrives during `span`.
    std::string readFor(std::chrono::milliseconds span);
    // True when the unit's side goes away (the device hangs up) within the limit.
    bool waitHangUp(std::chrono::milliseconds limit = kPatience);

    // Stops the unasked readings: "tf" and its reply; true when the reply came.
    bool quiet();

  private:
    // Waits up to `limit` for more bytes; false on a time-out or hang-up.
    bool fill(std::chrono::milliseconds limit);

    int fd_ = -1;
    std::string buffer_;
};

// A bootloader page frame: 0x00, page, data, sum of the data modulo 256.
std::vector<std::uint8_t> pageFrame(int page, const std::vector<std::uint8_t>& data);
// Bytes 0, 1, 2 ... of the given size (wrapping at 256), starting at `first`.
std::vector<std::uint8_t> counting(std::size_t size, int first = 0);

}  // namespace ondo::simtest
