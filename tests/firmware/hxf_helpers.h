#pragma once
// Helpers for the firmware-file tests: records built the way a release tool writes them, a
// temporary folder that cleans up after itself, and the log cut into its lines.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/image.h"

namespace ondo::testing {

// One HXF record line (no line end), with the Intel HEX checksum: the two's complement of the
// low byte of the sum of count, address bytes, type and data.
inline std::string hxfRecord(char kind, int address, const std::vector<int>& bytes, int type = 0) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string line{kind, ':'};
    int sum = 0;
    auto put = [&](int byte) {
        line += kDigits[(byte >> 4) & 0xF];
        line += kDigits[byte & 0xF];
        sum += byte;
    };
    put(static_cast<int>(bytes.size()));
    put(address >> 8);
    put(address & 0xFF);
    put(type);
    for (int b : bytes) put(b);
    put((0x100 - (sum & 0xFF)) & 0xFF);
    return line;
}

// An image whose every byte is `fill`, so that tests see which bytes a read wrote.
inline FirmwareImage filledImage(std::uint8_t fill) {
    FirmwareImage image;
    image.FlashImage.fill(fill);
    image.EEimage.fill(fill);
    return image;
}

// The log's text cut at each CR LF; text after the last CR LF is the last line.
inline std::vector<std::string> logLines(std::string_view log) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = log.find("\r\n", start)) != std::string_view::npos;
         start = end + 2) {
        lines.emplace_back(log.substr(start, end - start));
    }
    lines.emplace_back(log.substr(start));
    return lines;
}

// A fresh folder below the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir() {
        static std::atomic<int> serial{0};
        path_ = std::filesystem::temp_directory_path() /
                ("ondo-fw-test-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Writes `content` byte for byte into the file `name` and returns its full path.
    std::string write(const std::string& name, std::string_view content) const {
        const std::string full = (path_ / name).string();
        std::ofstream out(full, std::ios::binary);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        EXPECT_TRUE(out.good()) << "could not write " << full;
        return full;
    }
    std::string path(const std::string& name) const { return (path_ / name).string(); }
    std::string dir() const { return path_.string(); }

  private:
    std::filesystem::path path_;
};

}  // namespace ondo::testing
