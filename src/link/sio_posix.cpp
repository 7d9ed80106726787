// SPDX-License-Identifier: GPL-3.0-or-later
// The serial library on POSIX systems: termios on a device that the port map names.
//
// Each open port keeps a receive buffer of its own, topped up with non-blocking reads of what
// the kernel holds, so that taking bytes one by one costs no system call per byte. A device
// that has gone (a USB adapter pulled, the far end of a pseudo-terminal closed) is noticed by
// poll's hang-up flag and from then on fails every transfer with the operating-system error.
// Opening a port also asks the driver for low latency (see sio_posix.h) and closing it puts the
// driver's previous setting back.

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#if defined(__linux__)
#include <linux/serial.h>
#endif

#include "link/sio_common.h"
#include "link/sio_posix.h"

namespace sio {
namespace {

// How long one byte may wait for room in the kernel's transmit queue before the send fails.
// Frames to the unit are far shorter than that queue, so a wait at all means a stuck line.
constexpr std::chrono::milliseconds kWriteRoomWait{2000};
constexpr short kGoneEvents = POLLHUP | POLLERR | POLLNVAL;

struct OpenPort {
    int fd = -1;
    bool gone = false;              // the device has hung up; transfers fail from now on
    bool lowLatencySet = false;     // low latency was off and this library turned it on
    std::size_t capacity = 1;       // the receive queue size asked for at SioReset
    std::vector<unsigned char> rx;  // received bytes, oldest at rx[head]
    std::size_t head = 0;

    std::size_t waiting() const { return rx.size() - head; }
};

// termios' constant for a speed that speedOfCode gives.
speed_t speedFor(int bitsPerSecond) {
    switch (bitsPerSecond) {
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B19200;
    }
}

// Bytes the kernel holds for reading; 0 when it cannot say.
int pendingBytes(int fd) {
    int pending = 0;
    return ::ioctl(fd, FIONREAD, &pending) == 0 ? std::max(pending, 0) : 0;
}

tcflag_t dataBitsFlag(int dataBits) {
    switch (dataBits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

// Raw bytes both ways: page data holds 0x11, 0x13, 0x0D and 0x0A, which must pass untouched,
// and nothing may wait for modem lines the unit's cable does not carry.
void makeRaw(termios& t) {
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | INPCK);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
}

#if defined(__linux__)
class LinuxLowLatency final : public LowLatencySwitch {
  public:
    std::optional<bool> isOn(int fd) override {
        serial_struct serial{};
        if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) return std::nullopt;
        return (serial.flags & ASYNC_LOW_LATENCY) != 0;
    }
    // Every other field goes back as the driver gave it, so that a user without privileges may
    // make the change: the flag is one that drivers let anyone set.
    bool set(int fd, bool on) override {
        serial_struct serial{};
        if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) return false;
        serial.flags =
            on ? (serial.flags | ASYNC_LOW_LATENCY) : (serial.flags & ~ASYNC_LOW_LATENCY);
        return ::ioctl(fd, TIOCSSERIAL, &serial) == 0;
    }
};
using SystemLowLatency = LinuxLowLatency;
#else
class NoLowLatency final : public LowLatencySwitch {
  public:
    std::optional<bool> isOn(int) override { return std::nullopt; }
    bool set(int, bool) override { return false; }
};
using SystemLowLatency = NoLowLatency;
#endif

class PosixLibrary final : public CommonLibrary {
  public:
    PosixLibrary(DeviceResolver resolve, void* context, LowLatencySwitch& latency)
        : resolve_(resolve), context_(context), latency_(latency) {}
    ~PosixLibrary() override {
        for (int port = 0; port < kPortCount; ++port) release(port);
    }
    PosixLibrary(const PosixLibrary&) = delete;
    PosixLibrary& operator=(const PosixLibrary&) = delete;

    Result SioReset(int port, int rxQueue, int txQueue) override;
    Result SioPutc(int port, int byte) override;
    int SioRxQue(int port) override;
    int SioGetc(int port) override;
    Result SioRxClear(int port) override;
    Result SioDone(int port) override;
    int waitHandle(int port) const override;

  private:
    bool isOpen(int port) const override { return find(port) != nullptr; }
    Result applyLine(int port, const LineSettings& line) override;
    OpenPort* find(int port);
    const OpenPort* find(int port) const;
    Result osError(int error);
    int openDevice(const std::string& device);
    Result configure(int fd);
    Result topUp(OpenPort& p);
    Result readAvailable(OpenPort& p);
    Result markGone(OpenPort& p, int error);
    Result writeByte(OpenPort& p, unsigned char byte);
    void release(int port);

    DeviceResolver resolve_;
    void* context_;
    LowLatencySwitch& latency_;
    std::array<OpenPort, kPortCount> ports_{};
};

OpenPort* PosixLibrary::find(int port) {
    if (!inRange(port)) return nullptr;
    OpenPort& p = ports_[static_cast<std::size_t>(port)];
    return p.fd >= 0 ? &p : nullptr;
}

const OpenPort* PosixLibrary::find(int port) const {
    return const_cast<PosixLibrary*>(this)->find(port);
}

Result PosixLibrary::osError(int error) {
    return CommonLibrary::osError(std::system_category().message(error));
}

// The descriptor on success; kOsError with the system's text otherwise.
int PosixLibrary::openDevice(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return osError(errno);
    // flock keeps out every other program that locks the port, even one running as root, which
    // TIOCEXCL alone does not; the lock goes with the descriptor.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = (errno == EWOULDBLOCK) ? EBUSY : errno;
        ::close(fd);
        return osError(error);
    }
    ::ioctl(fd, TIOCEXCL);  // best effort: later opens by others then fail too
    const int result = configure(fd);
    if (result < 0) {
        ::flock(fd, LOCK_UN);
        ::close(fd);
        return result;
    }
    return fd;
}

Result PosixLibrary::configure(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return osError(errno);
    makeRaw(t);
    if (::tcsetattr(fd, TCSANOW, &t) != 0) return osError(errno);
    return kOk;
}

Result PosixLibrary::SioReset(int port, int rxQueue, int /*txQueue*/) {
    if (!inRange(port)) return kNoSuchPort;
    release(port);
    const std::string device = resolve_ ? resolve_(port, context_) : std::string();
    if (device.empty()) return kNoSuchPort;
    const int fd = openDevice(device);
    if (fd < 0) return static_cast<Result>(fd);
    OpenPort& p = ports_[static_cast<std::size_t>(port)];
    p = OpenPort{};
    p.fd = fd;
    p.capacity = static_cast<std::size_t>(std::max(rxQueue, 1));
    // Best effort: a driver without the switch, or one that refuses, leaves the port as it is.
    const std::optional<bool> lowLatency = latency_.isOn(fd);
    p.lowLatencySet = lowLatency.has_value() && !*lowLatency && latency_.set(fd, true);
    resetLine(port);
    return kOk;
}

Result PosixLibrary::applyLine(int port, const LineSettings& line) {
    const OpenPort* p = find(port);
    termios t{};
    if (::tcgetattr(p->fd, &t) != 0) return osError(errno);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
    t.c_cflag |= dataBitsFlag(line.dataBits);
    if (line.parity != 0) t.c_cflag |= PARENB;
    if (line.parity == 1) t.c_cflag |= PARODD;
    if (line.stopBits == 1) t.c_cflag |= CSTOPB;
    cfsetispeed(&t, speedFor(line.bitsPerSecond));
    cfsetospeed(&t, speedFor(line.bitsPerSecond));
    if (::tcsetattr(p->fd, TCSANOW, &t) != 0) return osError(errno);
    return kOk;
}

Result PosixLibrary::markGone(OpenPort& p, int error) {
    p.gone = true;
    return osError(error);
}

// Moves what the kernel holds into the receive buffer, as much as the buffer has room for.
Result PosixLibrary::readAvailable(OpenPort& p) {
    int pending = 0;
    if (::ioctl(p.fd, FIONREAD, &pending) != 0) return markGone(p, errno);
    const std::size_t room = p.capacity - std::min(p.capacity, p.waiting());
    const std::size_t want = std::min(room, static_cast<std::size_t>(std::max(pending, 0)));
    if (want == 0) return kOk;
    if (p.head > 0) {  // keep the buffer from creeping forward without bound
        p.rx.erase(p.rx.begin(), p.rx.begin() + static_cast<std::ptrdiff_t>(p.head));
        p.head = 0;
    }
    const std::size_t old = p.rx.size();
    p.rx.resize(old + want);
    const ssize_t got = ::read(p.fd, p.rx.data() + old, want);
    const int error = errno;
    p.rx.resize(old + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    if (got < 0 && error != EAGAIN && error != EINTR) return markGone(p, error);
    return kOk;
}

Result PosixLibrary::topUp(OpenPort& p) {
    if (p.gone) return kOsError;
    pollfd poller{p.fd, POLLIN, 0};
    if (::poll(&poller, 1, 0) <= 0) return kOk;
    if (poller.revents & POLLIN) {
        const Result result = readAvailable(p);
        if (result != kOk) return result;
    }
    // The device has gone once the bytes that came before the hang-up are all taken.
    if ((poller.revents & kGoneEvents) && pendingBytes(p.fd) == 0) return markGone(p, EIO);
    return kOk;
}

int PosixLibrary::SioRxQue(int port) {
    OpenPort* p = find(port);
    if (!p) return kNotOpen;
    const Result result = topUp(*p);
    // Bytes received before the device went are still handed out; after them, the error.
    if (p->waiting() > 0) return static_cast<int>(p->waiting());
    return result;
}

int PosixLibrary::SioGetc(int port) {
    OpenPort* p = find(port);
    if (!p) return kNoByte;
    if (p->waiting() == 0) topUp(*p);
    if (p->waiting() == 0) return kNoByte;
    return p->rx[p->head++];
}

Result PosixLibrary::writeByte(OpenPort& p, unsigned char byte) {
    const auto deadline = std::chrono::steady_clock::now() + kWriteRoomWait;
    for (;;) {
        const ssize_t sent = ::write(p.fd, &byte, 1);
        if (sent == 1) return kOk;
        if (sent < 0 && errno != EAGAIN && errno != EINTR) return markGone(p, errno);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return osError(EAGAIN);
        pollfd poller{p.fd, POLLOUT, 0};
        if (::poll(&poller, 1, static_cast<int>(left.count())) > 0 &&
            (poller.revents & kGoneEvents) && !(poller.revents & POLLOUT))
            return markGone(p, EIO);
    }
}

Result PosixLibrary::SioPutc(int port, int byte) {
    OpenPort* p = find(port);
    if (!p) return kNotOpen;
    return writeByte(*p, static_cast<unsigned char>(byte));
}

Result PosixLibrary::SioRxClear(int port) {
    OpenPort* p = find(port);
    if (!p) return kNotOpen;
    p->rx.clear();
    p->head = 0;
    if (p->gone) return osError(EIO);
    if (::tcflush(p->fd, TCIFLUSH) != 0) return osError(errno);
    return kOk;
}

void PosixLibrary::release(int port) {
    OpenPort* p = find(port);
    if (!p) return;
    if (p->lowLatencySet) latency_.set(p->fd, false);
    ::ioctl(p->fd, TIOCNXCL);
    ::flock(p->fd, LOCK_UN);
    ::close(p->fd);
    *p = OpenPort{};
}

Result PosixLibrary::SioDone(int port) {
    if (!find(port)) return kNotOpen;
    release(port);
    return kOk;
}

// A hung-up descriptor polls readable for ever, so it is never offered to a wait.
int PosixLibrary::waitHandle(int port) const {
    const OpenPort* p = find(port);
    if (!p || p->gone) return -1;
    pollfd poller{p->fd, POLLIN, 0};
    if (::poll(&poller, 1, 0) > 0 && (poller.revents & kGoneEvents)) return -1;
    return p->fd;
}

}  // namespace

LowLatencySwitch& systemLowLatency() {
    static SystemLowLatency latency;
    return latency;
}

std::unique_ptr<SerialLibrary> makePosixLibrary(DeviceResolver resolve, void* context,
                                                LowLatencySwitch& latency) {
    return std::make_unique<PosixLibrary>(resolve, context, latency);
}

std::unique_ptr<SerialLibrary> makePlatformLibrary(DeviceResolver resolve, void* context) {
    return makePosixLibrary(resolve, context, systemLowLatency());
}

}  // namespace sio
