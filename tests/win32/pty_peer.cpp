// The far end of COM1 for the Win32 serial backend's test under Wine:   win32-pty-peer DIR
// A pseudo-terminal whose slave side Wine opens as COM1 (its path goes to DIR/port); every byte
// that arrives is sent back unchanged, after the line's speed and stop bits as the terminal layer
// holds them are written to DIR/line ("19200 1"). It runs until its parent ends.

#include <sys/prctl.h>
#include <termios.h>

#include <csignal>
#include <fstream>
#include <utility>

#include "support/line.h"

int main(int argc, char** argv) {
    using namespace ondo::testing;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    Line line;
    if (argc != 2 || !line.ok()) return 2;
    const std::string dir = argv[1];
    std::ofstream(dir + "/port.new") << line.slavePath() << "\n";
    std::rename((dir + "/port.new").c_str(), (dir + "/port").c_str());
    const std::pair<speed_t, int> speeds[] = {
        {B300, 300},   {B600, 600},     {B1200, 1200},   {B2400, 2400},   {B4800, 4800},
        {B9600, 9600}, {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}};
    for (;;) {
        const std::string bytes = line.readFor(5ms);
        if (bytes.empty()) continue;
        termios t{};
        ::tcgetattr(line.slaveFd(), &t);
        int baud = 0;
        for (const auto& [code, value] : speeds)
            if (code == cfgetospeed(&t)) baud = value;
        std::ofstream(dir + "/line") << baud << ' ' << (t.c_cflag & CSTOPB ? 2 : 1) << "\n";
        if (!line.send(bytes)) return 1;
    }
}
