// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What both serial backends share: the port range, the argument checks of SioParms and SioBaud,
// the line settings those two change, and SioWinError's copy of the last system text. A backend
// derives from CommonLibrary and keeps only its system calls; applyLine is the one way either
// changes a line's settings.

#include <array>
#include <string>

#include "link/sio.h"

namespace sio {

inline constexpr int kPortCount = 9;  // COM1 to COM9

// The settings of an open line as SioParms and SioBaud leave them. A port opens raw at 19,200
// bit/s, eight data bits, no parity, one stop bit: the defaults below.
struct LineSettings {
    int parity = 0;    // 0 none, 1 odd, 2 even
    int stopBits = 0;  // 0 one, 1 two
    int dataBits = 8;  // 5 to 8
    int bitsPerSecond = 19200;
};

// Bit/s for a speed code of SioBaud; 0 for a code outside 0 to 9.
int speedOfCode(int speedCode);

class CommonLibrary : public SerialLibrary {
  public:
    Result SioParms(int port, int parity, int stopBits, int dataBits) final;
    Result SioBaud(int port, int speedCode) final;
    int SioWinError(char* buffer, int length) final;

  protected:
    static bool inRange(int port) { return port >= 0 && port < kPortCount; }
    virtual bool isOpen(int port) const = 0;
    // Sets the open port's line to `line` as a whole; kOk, or kOsError after osError.
    virtual Result applyLine(int port, const LineSettings& line) = 0;
    // A port just opened has the default line settings.
    void resetLine(int port);
    // Keeps the system's text for SioWinError and gives kOsError.
    Result osError(std::string text);

  private:
    Result changeLine(int port, const LineSettings& line);

    std::array<LineSettings, kPortCount> lines_{};
    std::string lastError_;
};

}  // namespace sio
