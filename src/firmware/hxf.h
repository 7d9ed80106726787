// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The HXF firmware file, read without any file system or window: text in, image writes and a
// report out. The glue in reader.h feeds it from a file and shows what it reports.
//
// An HXF file is a list of lines. "!" starts a comment, an empty line is reported and skipped,
// "C:" and "E:" start records that carry code-flash and EEPROM bytes, laid out as Intel HEX
// records after the kind letter: count, 16-bit address, type (summed, never interpreted), data,
// checksum. Every field is converted by HexVal, so a field that is not upper-case hex reads as -1
// and a field missing from a short line reads as 0.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/image.h"

namespace ondo {

// Only the first characters of a line can matter: kind, mark, count, address, type, up to 255
// data bytes and the checksum (1 + 1 + 2 + 4 + 2 + 510 + 2). The rest of a line is ignored, so
// a reader never needs to hold more of a line than this.
inline constexpr std::size_t kHxfLineKeep = 522;

// What one read has found so far. Counts are kept wider than the file format needs so that no
// input, however long, can make them wrap.
struct HxfReport {
    std::int64_t lines = 0;       // every line, blank and comment lines included
    std::int64_t flashBytes = 0;  // bytes stored into FlashImage, repeats included
    std::int64_t eeBytes = 0;     // bytes stored into EEimage, repeats included
    std::string error;            // the full message of the failure; empty while none

    bool failed() const { return !error.empty(); }
};

// Reads an HXF file line by line into an image. It writes only the addresses that its records
// carry and never touches FlashFileValid: deciding validity belongs to whoever knows the file
// has ended. After the first failure every further line is ignored.
class HxfReader {
  public:
    explicit HxfReader(FirmwareImage& image) : image_(image) {}

    // Takes the next line, without its line end. Returns false once the read has failed.
    bool line(std::string_view text);

    // The blank-line notice of the last line taken, or empty when that line was not blank.
    const std::string& notice() const { return notice_; }
    const HxfReport& report() const { return report_; }

  private:
    bool record(std::string_view text);
    // Stores the n data bytes of a record from `address` on, adding each to `sum`.
    bool store(std::string_view text, int address, int n, std::int32_t& sum);
    bool fail(const std::string& what);
    std::string lineNumber() const;

    FirmwareImage& image_;
    HxfReport report_;
    std::string notice_;
};

// Cuts a stream of bytes, handed over in chunks of any size, into lines. CR LF, LF alone and CR
// alone each end a line (files saved on DOS, Unix or old Mac systems read the same); CR LF is one
// line end, never a blank line. Text after the last line end makes one more line; a text that
// ends with a line end has no empty line after it. Of each line only the first `keep`
// characters are held, so memory stays bounded however long a line runs.
class HxfLineSplitter {
  public:
    explicit HxfLineSplitter(std::size_t keep = kHxfLineKeep) : keep_(keep) {}

    // Hands every line completed by `chunk` to `sink(std::string_view)`, which returns false to
    // stop. Returns false when the sink stopped.
    template <typename Sink>
    bool feed(std::string_view chunk, Sink&& sink) {
        for (char c : chunk) {
            if (afterCR_ && c == '\n') {
                afterCR_ = false;
                continue;
            }
            afterCR_ = (c == '\r');
            if (c == '\r' || c == '\n') {
                if (!emit(sink)) return false;
            } else {
                started_ = true;
                if (held_.size() < keep_) held_.push_back(c);
            }
        }
        return true;
    }

    // Ends the text: hands over the last line if it had no line end. Returns false when the
    // sink stopped.
    template <typename Sink>
    bool finish(Sink&& sink) {
        afterCR_ = false;
        return started_ ? emit(sink) : true;
    }

    // Characters held of the line being cut; never more than `keep`.
    std::size_t held() const { return held_.size(); }

  private:
    template <typename Sink>
    bool emit(Sink& sink) {
        bool goOn = sink(std::string_view(held_));
        held_.clear();
        started_ = false;
        return goOn;
    }

    std::size_t keep_;
    std::string held_;
    bool started_ = false;  // a character of the current line has been seen
    bool afterCR_ = false;  // the last character was a CR, so a LF now ends nothing
};

// Reads a whole text at once. Each blank-line notice is appended to `notices` when it is given.
HxfReport readHxfText(std::string_view text, FirmwareImage& image,
                      std::vector<std::string>* notices = nullptr);

}  // namespace ondo
