#include "sim/port.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>

namespace ondo::simtest {
namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

Port::Port(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

Port::~Port() {
    if (fd_ >= 0) ::close(fd_);
}

void Port::send(const std::string& bytes) {
    std::size_t done = 0;
    while (fd_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
}

void Port::send(const std::vector<std::uint8_t>& bytes) {
    send(std::string(bytes.begin(), bytes.end()));
}

bool Port::fill(std::chrono::milliseconds limit) {
    pollfd p{fd_, POLLIN, 0};
    if (fd_ < 0 || ::poll(&p, 1, static_cast<int>(limit.count())) <= 0) return false;
    std::array<char, 1024> chunk{};
    const ssize_t n = ::read(fd_, chunk.data(), chunk.size());
    if (n <= 0) return false;
    buffer_.append(chunk.data(), static_cast<std::size_t>(n));
    return true;
}

std::string Port::readUntil(const std::string& pattern, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    std::size_t at = std::string::npos;
    while ((at = buffer_.find(pattern)) == std::string::npos) {
        const int left = remainingMs(deadline);
        if (left == 0 || !fill(std::chrono::milliseconds(left))) break;
    }
    const std::size_t end = at == std::string::npos ? buffer_.size() : at + pattern.size();
    std::string taken = buffer_.substr(0, end);
    buffer_.erase(0, end);
    return taken;
}

std::string Port::readCount(std::size_t count, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (buffer_.size() < count && remainingMs(deadline) > 0) {
        if (!fill(std::chrono::milliseconds(remainingMs(deadline)))) break;
    }
    const std::size_t end = std::min(count, buffer_.size());
    std::string taken = buffer_.substr(0, end);
    buffer_.erase(0, end);
    return taken;
}

std::string Port::readFor(std::chrono::milliseconds span) {
    const auto deadline = Clock::now() + span;
    while (remainingMs(deadline) > 0) {
        if (!fill(std::chrono::milliseconds(remainingMs(deadline))) && fd_ >= 0) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 0) > 0 && (p.revents & POLLHUP)) break;  // nothing more will come
        }
    }
    std::string taken;
    taken.swap(buffer_);
    return taken;
}

bool Port::waitHangUp(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (fd_ >= 0) {
        pollfd p{fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, remainingMs(deadline));
        if (ready <= 0) return false;
        if (p.revents & (POLLHUP | POLLERR)) return true;
        std::array<char, 256> chunk{};
        if (::read(fd_, chunk.data(), chunk.size()) <= 0) return true;
    }
    return false;
}

bool Port::quiet() {
    send("tf\r");
    const std::string reply = readUntil("\nT 0\r\n");
    return reply.size() >= 6 && reply.compare(reply.size() - 6, 6, "\nT 0\r\n") == 0;
}

std::vector<std::uint8_t> pageFrame(int page, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> frame{0, static_cast<std::uint8_t>(page)};
    unsigned sum = 0;
    for (const std::uint8_t byte : data) {
        frame.push_back(byte);
        sum += byte;
    }
    frame.push_back(static_cast<std::uint8_t>(sum & 0xFF));
    return frame;
}

std::vector<std::uint8_t> counting(std::size_t size, int first) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

}  // namespace ondo::simtest
