// SPDX-License-Identifier: GPL-3.0-or-later
#include "files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

namespace sim {
namespace {

std::string temporaryName(const std::string& path) {
    return path + ".tmp" + std::to_string(getpid());
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool writeFileAtomically(const std::string& path, const std::string& bytes) {
    const std::string temporary = temporaryName(path);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool written = writeAll(fd, bytes.data(), bytes.size());
    const bool closed = ::close(fd) == 0;
    if (written && closed && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
}

bool writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    return writeFileAtomically(path, std::string(bytes.begin(), bytes.end()));
}

bool appendLine(const std::string& path, const std::string& line) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const std::string text = line + "\n";
    const bool written = writeAll(fd, text.data(), text.size());
    return ::close(fd) == 0 && written;
}

bool replaceSymlink(const std::string& link, const std::string& target) {
    const std::string temporary = temporaryName(link);
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0) return false;
    if (std::rename(temporary.c_str(), link.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
}

std::string statsText(const Counters& counters, const Traffic& traffic) {
    std::ostringstream out;
    out << "bytes_from_host " << traffic.fromHost << "\n"
        << "bytes_to_host " << traffic.toHost << "\n"
        << "restarts " << counters.restarts << "\n"
        << "restart_ms " << counters.restartMs << "\n"
        << "boot_entries " << counters.bootEntries << "\n"
        << "pages_stored " << counters.pagesStored << "\n"
        << "pages_rejected " << counters.pagesRejected << "\n"
        << "eeprom_writes " << counters.eepromWrites << "\n"
        << "end_word " << counters.endWord << "\n";
    return out.str();
}

}  // namespace sim
