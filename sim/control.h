// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The control FIFO: the hands of whoever runs the simulated unit (power it up with or without the
// rescue jumper, unplug and replug it, ask for dumps, make it quit), one command a line.

#include <string>
#include <vector>

namespace sim {

class ControlFifo {
  public:
    ControlFifo() = default;
    ControlFifo(const ControlFifo&) = delete;
    ControlFifo& operator=(const ControlFifo&) = delete;
    ~ControlFifo();

    // Creates the FIFO (or reuses one already there) and opens it for reading.
    bool open(const std::string& path, std::string& error);
    int fd() const { return reader_; }
    // The complete command lines written so far, blanks trimmed, empty lines skipped.
    std::vector<std::string> readCommands();

  private:
    std::string path_;
    int reader_ = -1;
    int keepOpen_ = -1;  // our own writer, so the reader never sees end-of-file
    std::string partial_;
};

}  // namespace sim
