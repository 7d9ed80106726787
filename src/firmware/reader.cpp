// SPDX-License-Identifier: GPL-3.0-or-later
#include "firmware/reader.h"

#include <exception>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string_view>
#include <vector>

#include "core/messages.h"
#include "firmware/hxf.h"

namespace ondo {

namespace {

constexpr std::size_t kChunkBytes = std::size_t{64} * 1024;
// Blank-line notices go to the log in batches of about this size: one append per notice would
// make a file of many blank lines slow to show, and one append at the end would hold them all.
constexpr std::size_t kNoticeBatch = std::size_t{64} * 1024;

const char* const kCRLF = "\r\n";

// Bytes in the UTF-8 sequence that `lead` starts, or 0 when it starts none.
std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead < 0xE0) return 2;
    if (lead >= 0xE0 && lead < 0xF0) return 3;
    if (lead >= 0xF0 && lead < 0xF5) return 4;
    return 0;
}

bool isUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = sequenceLength(static_cast<unsigned char>(text[i]));
        if (length == 0 || length > text.size() - i) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

}  // namespace

std::filesystem::path fileSystemPath(const std::string& name) {
    if (isUtf8(name)) {
        try {
            return std::filesystem::path(std::u8string(name.begin(), name.end()));
        } catch (const std::exception&) {
            // A sequence the system will not convert: fall back to the narrow encoding.
        }
    }
    return std::filesystem::path(name);
}

namespace {

bool isOrdinaryFile(const std::string& name) {
    if (name.empty()) return false;
    std::error_code ec;
    return std::filesystem::is_regular_file(fileSystemPath(name), ec);
}

std::string tooLargeText() {
    return "Flash file too large (over " + std::to_string(kMaxFlashFileBytes) + " bytes)";
}

// Refuses a file over the size limit before anything is read from it.
bool refuseLarge(Face& face, const std::string& name) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(fileSystemPath(name), ec);
    if (ec || size <= kMaxFlashFileBytes) return false;
    msgError(face, tooLargeText());
    return true;
}

enum class Outcome { Ended, Stopped, ReadError, TooLarge };

// Hands the stream to `consume` chunk by chunk; `consume` returns false to stop.
template <typename Consume>
Outcome pump(std::istream& in, Consume&& consume) {
    std::vector<char> buffer(kChunkBytes);
    std::uintmax_t total = 0;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        total += got;
        if (total > kMaxFlashFileBytes) return Outcome::TooLarge;
        if (got > 0 && !consume(std::string_view(buffer.data(), got))) return Outcome::Stopped;
    }
    return in.bad() ? Outcome::ReadError : Outcome::Ended;
}

// A failing read may take part of the chunk it was reading with it, so the message names the
// file rather than a line that might not be the one where reading stopped.
std::string readErrorText(const std::string& name) {
    return "Cannot read file " + name;
}

// One read of a file into the image: the parser, the line cutter and the notices not yet shown.
class FileRead {
  public:
    FileRead(Face& face, FirmwareImage& image) : face_(face), reader_(image) {}

    Outcome run(std::istream& in) {
        auto sink = [this](std::string_view line) { return take(line); };
        const Outcome outcome =
            pump(in, [&](std::string_view chunk) { return splitter_.feed(chunk, sink); });
        if (outcome == Outcome::Ended) splitter_.finish(sink);
        flushNotices();
        return outcome;
    }

    const HxfReport& report() const { return reader_.report(); }

  private:
    bool take(std::string_view line) {
        const bool goOn = reader_.line(line);
        if (!reader_.notice().empty()) {
            lastNotice_ = reader_.notice();
            notices_ += lastNotice_ + kCRLF;
            if (notices_.size() >= kNoticeBatch) flushNotices();
        }
        return goOn;
    }

    void flushNotices() {
        if (notices_.empty()) return;
        face_.setErrorLabel(lastNotice_);
        face_.logAppend(notices_);
        notices_.clear();
    }

    Face& face_;
    HxfReader reader_;
    HxfLineSplitter splitter_;
    std::string notices_;
    std::string lastNotice_;
};

std::string summaryText(const HxfReport& report, const std::string& name) {
    return kCRLF + std::to_string(report.lines) + " lines in file -> " + kCRLF + name + kCRLF +
           kCRLF + std::to_string(report.flashBytes) + " bytes Flash code" + kCRLF +
           std::to_string(report.eeBytes) + " bytes EEPROM data";
}

}  // namespace

void readFlashFile(Face& face, FirmwareImage& image, const std::string& name, bool flashing) {
    if (flashing) {
        msgError(face, "Flash file not read while flashing");
        return;
    }
    image.FlashFileValid = false;
    if (!isOrdinaryFile(name)) {
        msgError(face, "No File " + name);
        return;
    }
    msg(face, "Reading flash file ...");
    if (refuseLarge(face, name)) return;
    std::ifstream in(fileSystemPath(name), std::ios::binary);
    readFlashStream(face, image, name, in);
}

void readFlashStream(Face& face, FirmwareImage& image, const std::string& name, std::istream& in) {
    image.FlashFileValid = false;
    if (!in) {
        msgError(face, "Cannot open file " + name);
        return;
    }
    face.setErrorLabel("");
    face.logReplace("");
    FileRead read(face, image);
    const Outcome outcome = read.run(in);
    const HxfReport& report = read.report();
    if (report.failed()) {
        msgError(face, report.error);
    } else if (outcome == Outcome::ReadError) {
        msgError(face, readErrorText(name));
    } else if (outcome == Outcome::TooLarge) {
        msgError(face, tooLargeText());
    } else {
        image.FlashFileValid = true;
        face.logAppend(summaryText(report, name));
        msgStatus(face, "Read file OK (" + std::to_string(report.lines) + " lines)");
    }
}

void viewFlashFile(Face& face, const std::string& name) {
    if (!isOrdinaryFile(name)) {
        msgError(face, "No File " + name);
        return;
    }
    msg(face, "Reading flash file ...");
    if (refuseLarge(face, name)) return;
    std::ifstream in(fileSystemPath(name), std::ios::binary);
    viewFlashStream(face, name, in);
}

void viewFlashStream(Face& face, const std::string& name, std::istream& in) {
    if (!in) {
        msgError(face, "Cannot open file " + name);
        return;
    }
    // Whole lines are shown; the size limit bounds them.
    HxfLineSplitter splitter(std::numeric_limits<std::size_t>::max());
    std::string text;
    std::int64_t lines = 0;
    auto sink = [&](std::string_view line) {
        text.append(line).append(kCRLF);
        ++lines;
        return true;
    };
    const Outcome outcome =
        pump(in, [&](std::string_view chunk) { return splitter.feed(chunk, sink); });
    if (outcome == Outcome::ReadError) {
        msgError(face, readErrorText(name));
    } else if (outcome == Outcome::TooLarge) {
        msgError(face, tooLargeText());
    } else {
        splitter.finish(sink);
        face.logReplace(text);
    }
}

}  // namespace ondo
