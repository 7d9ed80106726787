// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The unit's end of the serial line: the master side of a pseudo-terminal. The slave side is the
// "port" a host opens; it is left closed here, so that the host opens and closes it as it would a
// real port, and the unit can tell whether anybody is listening.

#include <cstddef>
#include <string>

namespace sim {

class PseudoTerminal {
  public:
    PseudoTerminal() = default;
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    ~PseudoTerminal() { close(); }

    // Opens a new pseudo-terminal with its slave in raw mode at 19,200 bit/s (nothing echoed or
    // translated by the terminal layer). On failure returns false and sets error.
    bool open(std::string& error);
    // The device disappears: a host that holds it open sees a hang-up.
    void close();
    bool isOpen() const { return master_ >= 0; }
    int fd() const { return master_; }
    const std::string& path() const { return path_; }

    // True when a host holds the slave side open right now.
    bool hostAttached() const;
    // Everything the host has written and the unit not yet read.
    std::string readAvailable();
    // Writes as much as the terminal takes now; returns the number of bytes written.
    std::size_t write(const std::string& bytes);

  private:
    int master_ = -1;
    std::string path_;
};

}  // namespace sim
