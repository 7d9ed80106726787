// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/line.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace ondo::testing {
namespace {
using Clock = std::chrono::steady_clock;
int left(Clock::time_point deadline) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return ms.count() > 0 ? static_cast<int>(ms.count()) : 0;
}
}  // namespace

Line::Line() {
    if (::openpty(&fd_, &slave_, nullptr, nullptr, nullptr) != 0) {
        fd_ = slave_ = -1;
        return;
    }
    ::fcntl(fd_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    termios raw{};
    ::tcgetattr(slave_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave_, TCSANOW, &raw);
    std::array<char, 256> name{};
    if (::ttyname_r(slave_, name.data(), name.size()) == 0) slavePath_ = name.data();
}

Line::Line(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

Line::~Line() {
    close();
    if (slave_ >= 0) ::close(slave_);
}

void Line::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool Line::send(std::string_view bytes) {
    while (!bytes.empty() && fd_ >= 0) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return bytes.empty();
}

bool Line::fill(std::chrono::milliseconds wait) {
    pollfd p{fd_, POLLIN, 0};
    if (fd_ < 0 || ::poll(&p, 1, static_cast<int>(wait.count())) <= 0) return false;
    std::array<char, 4096> chunk;
    const ssize_t n = ::read(fd_, chunk.data(), chunk.size());
    if (n <= 0) return false;
    buffer_.append(chunk.data(), static_cast<std::size_t>(n));
    return true;
}

std::string Line::readCount(std::size_t count, std::chrono::milliseconds wait) {
    const auto deadline = Clock::now() + wait;
    while (buffer_.size() < count && left(deadline) > 0 &&
           fill(std::chrono::milliseconds(left(deadline)))) {
    }
    std::string taken = buffer_.substr(0, count);
    buffer_.erase(0, taken.size());
    return taken;
}

std::string Line::readFor(std::chrono::milliseconds span) {
    const auto deadline = Clock::now() + span;
    while (left(deadline) > 0) fill(std::chrono::milliseconds(left(deadline)));
    return readCount(buffer_.size(), 0ms);
}

bool Line::quiet() {
    const auto deadline = Clock::now() + kPatience;
    send("tf\r");
    while (buffer_.find("\nT 0\r\n") == std::string::npos && left(deadline) > 0 &&
           fill(std::chrono::milliseconds(left(deadline)))) {
    }
    const auto end = buffer_.find("\nT 0\r\n");
    buffer_.erase(0, end == std::string::npos ? 0 : end + 6);
    return end != std::string::npos;
}

std::string counting(std::size_t size, int first) {
    std::string bytes;
    for (std::size_t i = 0; i < size; ++i) bytes += static_cast<char>((first + i) & 0xFF);
    return bytes;
}

}  // namespace ondo::testing
