// The far end of two lines for the Win32 serial backend's test under Wine: two pseudo-terminals
// whose slave sides Wine opens as COM ports.
//
//   win32-pty-peer DIR
//
// "hex" line: every byte that arrives is answered with its value as two upper-case hex digits,
// so the test sees exactly which bytes left its side. Before answering, the line's settings as
// the terminal layer holds them are written to DIR/hex.line ("19200 8 N 1": speed, data bits,
// parity N/O/E, stop bits).
// "unhex" line: every two hex digits that arrive are answered with the byte they name, so the
// test chooses exactly which bytes reach its side. Anything else is ignored.
//
// The slave paths go to DIR/ports ("hex PATH" and "unhex PATH" lines), written once both lines
// are up. The peer holds each slave side open itself, so the lines stay up while the test opens
// and closes its ports. It runs until it is killed, or until its parent ends.

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>

namespace {

struct Line {
    int master = -1;
    int slave = -1;
    std::string path;
};

bool open(Line& line) {
    line.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (line.master < 0 || grantpt(line.master) != 0 || unlockpt(line.master) != 0) return false;
    const char* name = ptsname(line.master);
    if (!name) return false;
    line.path = name;
    line.slave = ::open(name, O_RDWR | O_NOCTTY);
    if (line.slave < 0) return false;
    termios raw{};
    if (tcgetattr(line.slave, &raw) != 0) return false;
    cfmakeraw(&raw);
    cfsetspeed(&raw, B19200);
    return tcsetattr(line.slave, TCSANOW, &raw) == 0;
}

std::string speedText(speed_t speed) {
    const std::pair<speed_t, const char*> known[] = {
        {B300, "300"},     {B600, "600"},      {B1200, "1200"},   {B2400, "2400"},
        {B4800, "4800"},   {B9600, "9600"},    {B19200, "19200"}, {B38400, "38400"},
        {B57600, "57600"}, {B115200, "115200"}};
    for (const auto& [value, text] : known)
        if (value == speed) return text;
    return "other";
}

// The settings the terminal layer holds for the line, as set through the slave side.
std::string settingsText(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return "unknown";
    const tcflag_t size = t.c_cflag & CSIZE;
    const char bits = size == CS5 ? '5' : size == CS6 ? '6' : size == CS7 ? '7' : '8';
    const char parity = !(t.c_cflag & PARENB) ? 'N' : (t.c_cflag & PARODD) ? 'O' : 'E';
    return speedText(cfgetospeed(&t)) + ' ' + bits + ' ' + parity + ' ' +
           ((t.c_cflag & CSTOPB) ? '2' : '1');
}

int digitValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: win32-pty-peer DIR\n");
        return 2;
    }
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    const std::string dir = argv[1];
    Line hex, unhex;
    if (!open(hex) || !open(unhex)) {
        std::perror("win32-pty-peer: pseudo-terminal");
        return 1;
    }
    {
        std::ofstream ports(dir + "/ports.new");
        ports << "hex " << hex.path << "\nunhex " << unhex.path << "\n";
    }
    std::rename((dir + "/ports.new").c_str(), (dir + "/ports").c_str());

    int pendingDigit = -1;  // the first digit of a pair on the unhex line
    for (;;) {
        pollfd fds[2] = {{hex.master, POLLIN, 0}, {unhex.master, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) continue;
        unsigned char buffer[512];
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(hex.master, buffer, sizeof buffer);
            if (n > 0) {
                std::ofstream(dir + "/hex.line") << settingsText(hex.slave) << "\n";
                static const char kDigits[] = "0123456789ABCDEF";
                std::string reply;
                for (ssize_t i = 0; i < n; ++i) {
                    reply += kDigits[buffer[i] >> 4];
                    reply += kDigits[buffer[i] & 0x0F];
                }
                if (!writeAll(hex.master, reply)) return 1;
            }
        }
        if (fds[1].revents & POLLIN) {
            const ssize_t n = ::read(unhex.master, buffer, sizeof buffer);
            std::string reply;
            for (ssize_t i = 0; i < n; ++i) {
                const int value = digitValue(buffer[i]);
                if (value < 0) continue;
                if (pendingDigit < 0) {
                    pendingDigit = value;
                } else {
                    reply += static_cast<char>(pendingDigit * 16 + value);
                    pendingDigit = -1;
                }
            }
            if (!reply.empty() && !writeAll(unhex.master, reply)) return 1;
        }
    }
}
