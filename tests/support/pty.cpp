#include "support/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace ondo::testing {

namespace {

void closeOnExec(int fd) {
    ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

std::string deviceName(int fd) {
    std::array<char, 256> name{};
    if (::ttyname_r(fd, name.data(), name.size()) != 0) return {};
    return name.data();
}

}  // namespace

Pty::Pty() {
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    closeOnExec(master_);
    closeOnExec(slave_);
    termios raw{};
    if (::tcgetattr(slave_, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(slave_, TCSANOW, &raw);
    }
    slavePath_ = deviceName(slave_);
}

Pty::~Pty() {
    closeMaster();
    if (slave_ >= 0) ::close(slave_);
}

void Pty::closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

bool Pty::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(master_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string Pty::read(std::size_t count, std::chrono::milliseconds wait) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + wait;
    std::string got;
    while (got.size() < count && master_ >= 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd poller{master_, POLLIN, 0};
        if (::poll(&poller, 1, static_cast<int>(left.count())) <= 0) continue;
        std::string chunk(count - got.size(), '\0');
        const ssize_t n = ::read(master_, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got.append(chunk.data(), static_cast<std::size_t>(n));
    }
    return got;
}

bool Pty::readable() const {
    pollfd poller{master_, POLLIN, 0};
    return ::poll(&poller, 1, 0) > 0 && (poller.revents & POLLIN);
}

}  // namespace ondo::testing
