// SPDX-License-Identifier: GPL-3.0-or-later
#include "pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace sim {
namespace {

bool makeRaw(int slave) {
    termios settings{};
    if (tcgetattr(slave, &settings) != 0) return false;
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&settings, B19200);
    cfsetospeed(&settings, B19200);
    return tcsetattr(slave, TCSANOW, &settings) == 0;
}

}  // namespace

bool PseudoTerminal::open(std::string& error) {
    close();
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        error = std::string("openpty: ") + std::strerror(errno);
        return false;
    }
    const char* name = ptsname(master);
    const bool ok = name != nullptr && makeRaw(slave) &&
                    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK) == 0 &&
                    fcntl(master, F_SETFD, FD_CLOEXEC) == 0;
    if (!ok) {
        error = std::string("pseudo-terminal set-up: ") + std::strerror(errno);
        ::close(slave);
        ::close(master);
        return false;
    }
    path_ = name;
    ::close(slave);  // the host opens it; the settings stay with the terminal
    master_ = master;
    return true;
}

void PseudoTerminal::close() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

// With nobody on the slave side the master reports a hang-up.
bool PseudoTerminal::hostAttached() const {
    if (master_ < 0) return false;
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, 0) < 0) return false;
    return (p.revents & POLLHUP) == 0;
}

std::string PseudoTerminal::readAvailable() {
    std::string bytes;
    std::array<char, 4096> chunk{};
    while (master_ >= 0) {
        const ssize_t n = ::read(master_, chunk.data(), chunk.size());
        if (n <= 0) break;  // nothing more now, or nobody on the other side
        bytes.append(chunk.data(), static_cast<std::size_t>(n));
    }
    return bytes;
}

std::size_t PseudoTerminal::write(const std::string& bytes) {
    std::size_t done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

}  // namespace sim
