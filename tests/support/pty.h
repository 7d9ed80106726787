#pragma once
// A pseudo-terminal pair for tests: the slave side stands in for a serial device that the code
// under test opens by path; the test plays the far end of the line on the master side.
// Both descriptors are closed again when the pair goes out of scope.

#include <chrono>
#include <string>
#include <string_view>

namespace ondo::testing {

class Pty {
  public:
    // Long enough for a loaded, shared machine; only a hang ever waits this long.
    static constexpr std::chrono::milliseconds kGenerousWait{10000};

    // Opens the pair and puts the line in raw mode; ok() tells whether that worked.
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return master_ >= 0 && slave_ >= 0 && !slavePath_.empty(); }
    // The device path of the slave side (for example /dev/pts/7).
    const std::string& slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }
    // The pair's own descriptor on the slave side, held so the line stays up while the code
    // under test opens and closes it.
    int slaveFd() const { return slave_; }

    // Sends bytes from the far end; true when all of them were written.
    bool write(std::string_view bytes);
    // Reads from the far end until count bytes have come or the wait has passed; returns what
    // came, which is shorter than count only on a time-out.
    std::string read(std::size_t count, std::chrono::milliseconds wait = kGenerousWait);
    // Whether a byte is waiting at the far end right now.
    bool readable() const;

    // Closes the far end, as when the cable's adapter is pulled: the slave side hangs up.
    void closeMaster();

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

}  // namespace ondo::testing
