// SPDX-License-Identifier: GPL-3.0-or-later
// bench_hxf: how long one read of a firmware file takes that fills the whole code image (32 KiB)
// and the whole EEPROM image (4 KiB), in records of 16 bytes: the pure reader on the text in
// memory, and readFlashFile on the file (open, stream, parse, report through a face).
//
//   bench_hxf [READS]        (default 1000 reads of each kind)
//
// Prints the median time of one read and the throughput in MB/s (10^6 bytes of file text per
// second). Every read is checked: the image must hold the file's bytes and be valid.

#include "firmware/hxf.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/face.h"
#include "firmware/reader.h"

namespace ondo::bench {
namespace {

constexpr int kCodeBytes = 32768;
constexpr int kEEBytes = 4096;

// A face that shows nothing, so that the figure is the reader's own.
class NullFace : public Face {
  public:
    void status(Colour, const std::string&) override {}
    void scrollText(const std::string&) override {}
    void logAppend(const std::string&) override {}
    void logReplace(const std::string&) override {}
    void dataHistory(const std::string&) override {}
    void paneClear() override {}
    void setDataLabel(const std::string&) override {}
    void setVersionLabel(const std::string&) override {}
    void setErrorLabel(const std::string&) override {}
    void setIndicator(Indicator) override {}
    void setStartButton(const std::string&, bool) override {}
    void setAbortEnabled(bool) override {}
    bool option(Option) const override { return false; }
    void setOption(Option, bool) override {}
    std::string fileName() const override { return {}; }
    Answer ask(const MessageBox&) override { return Answer::Ok; }
    void requestClose() override {}
    void progress(const Progress&) override {}
};

bool imageHolds(const FirmwareImage& image, const FirmwareBytes& bytes) {
    if (!image.FlashFileValid) return false;
    for (std::size_t a = 0; a < bytes.code.size(); ++a) {
        if (image.FlashImage[a] != bytes.code[a]) return false;
    }
    for (std::size_t a = 0; a < bytes.eeprom.size(); ++a) {
        if (image.EEimage[a] != bytes.eeprom[a]) return false;
    }
    return true;
}

// Times `reads` reads into a fresh image each; false when a read did not give the bytes.
bool timeReads(int reads, const FirmwareBytes& bytes,
               const std::function<void(FirmwareImage&)>& read, std::vector<double>& times) {
    for (int n = 0; n < reads; ++n) {
        auto image = std::make_unique<FirmwareImage>();
        const auto start = Clock::now();
        read(*image);
        times.push_back(secondsBetween(start, Clock::now()));
        if (!imageHolds(*image, bytes)) return false;
    }
    return true;
}

// The pure reader on the text, then readFlashFile on the file; false when a read went wrong.
bool timeBoth(int reads, const FirmwareBytes& bytes, const std::string& text,
              const std::string& file, std::vector<double>& pure, std::vector<double>& fromFile) {
    NullFace face;
    const bool pureOk = timeReads(
        reads, bytes,
        [&](FirmwareImage& image) {
            const HxfReport report = readHxfText(text, image);
            image.FlashFileValid = !report.failed();
        },
        pure);
    const bool fileOk = timeReads(
        reads, bytes, [&](FirmwareImage& image) { readFlashFile(face, image, file, false); },
        fromFile);
    return pureOk && fileOk;
}

void printFigure(const char* what, std::size_t textBytes, std::vector<double> times) {
    const double one = median(times);
    std::sort(times.begin(), times.end());
    std::printf("| %s | %zu | %.3f | %.3f | %.3f | %.1f |\n", what, times.size(), one * 1e3,
                times.front() * 1e3, times[times.size() * 9 / 10] * 1e3,
                static_cast<double>(textBytes) / one / 1e6);
}

}  // namespace
}  // namespace ondo::bench

int main(int argc, char** argv) {
    using namespace ondo::bench;
    const int reads = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const FirmwareBytes bytes = makeFirmwareBytes(kCodeBytes, kEEBytes, 0x5EEDu);
    const std::string text = firmwareText(bytes);
    const std::string folder = makeTempFolder("ondo-bench-hxf");
    const std::string file = folder + "/FULL.HXF";
    if (folder.empty() || !writeWholeFile(file, text)) return 1;
    printMachine("bench_hxf");
    std::printf(
        "# a file of %zu bytes: %d bytes of code, %d bytes of EEPROM, records of 16 bytes\n",
        text.size(), kCodeBytes, kEEBytes);
    std::vector<double> pure, fromFile;
    const bool readsOk = timeBoth(reads, bytes, text, file, pure, fromFile);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    if (!readsOk) {
        std::printf("# a read did not give the file's bytes\n");
        return 1;
    }
    std::printf(
        "\n| read | reads | median ms | fastest ms | 90th percentile ms | MB/s |\n"
        "|---|---|---|---|---|---|\n");
    printFigure("readHxfText (text in memory)", text.size(), pure);
    printFigure("readFlashFile (from the file)", text.size(), fromFile);
    printMachine("bench_hxf finished");
    return 0;
}
