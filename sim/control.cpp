// SPDX-License-Identifier: GPL-3.0-or-later
#include "control.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace sim {
namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

}  // namespace

ControlFifo::~ControlFifo() {
    if (reader_ >= 0) ::close(reader_);
    if (keepOpen_ >= 0) ::close(keepOpen_);
    if (!path_.empty()) ::unlink(path_.c_str());
}

bool ControlFifo::open(const std::string& path, std::string& error) {
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    if (exists && !S_ISFIFO(info.st_mode)) {
        error = path + " exists and is not a FIFO";
        return false;
    }
    if (!exists && ::mkfifo(path.c_str(), 0600) != 0) {
        error = "mkfifo " + path + ": " + std::strerror(errno);
        return false;
    }
    path_ = path;
    reader_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    keepOpen_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (reader_ < 0 || keepOpen_ < 0) {
        error = "open " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

std::vector<std::string> ControlFifo::readCommands() {
    std::array<char, 512> chunk{};
    ssize_t n = 0;
    while ((n = ::read(reader_, chunk.data(), chunk.size())) > 0) {
        partial_.append(chunk.data(), static_cast<std::size_t>(n));
    }
    std::vector<std::string> commands;
    std::size_t end = 0;
    while ((end = partial_.find('\n')) != std::string::npos) {
        const std::string line = trimmed(partial_.substr(0, end));
        partial_.erase(0, end + 1);
        if (!line.empty()) commands.push_back(line);
    }
    return commands;
}

}  // namespace sim
