// SPDX-License-Identifier: GPL-3.0-or-later
#include "firmware/hxf.h"

#include <algorithm>
#include <span>

#include "core/hex.h"

namespace ondo {

namespace {

// The characters of a line at the 1-based positions first to first + length - 1, as far as the
// line holds them: a field that runs past the end takes what is there, a missing one is empty.
std::string_view field(std::string_view line, std::size_t first, std::size_t length) {
    if (line.size() < first) return {};
    return line.substr(first - 1, length);
}

// Position of the k-th data byte (counting from 0) and of the checksum after n data bytes.
constexpr std::size_t dataPosition(int k) {
    return 11 + 2 * static_cast<std::size_t>(k);
}

}  // namespace

bool HxfReader::line(std::string_view text) {
    if (report_.failed()) return false;
    notice_.clear();
    ++report_.lines;
    if (text.empty()) {
        notice_ = "*** blank line (" + lineNumber() + ") detected";
        return true;
    }
    if (text[0] == '!') return true;
    if (text[0] != 'C' && text[0] != 'E') {
        return fail("Invalid HXF file format @ line " + lineNumber());
    }
    if (text.size() < 2 || text[1] != ':')
        return fail("Bad Hex data format @ line " + lineNumber());
    return record(text);
}

bool HxfReader::record(std::string_view text) {
    const int count = HexVal(field(text, 3, 2));
    const int high = HexVal(field(text, 5, 2));
    const int low = HexVal(field(text, 7, 2));
    std::int32_t sum = count + high + low + HexVal(field(text, 9, 2));
    const int n = std::max(count, 0);  // a count that is not hex carries no data
    if (!store(text, high * 256 + low, n, sum)) return false;
    const int checksum = HexVal(field(text, dataPosition(n), 2));
    const int low8 = sum & 0xFF;
    if (((checksum + low8) & 0xFF) != 0) {
        return fail("Checksum error @ line " + lineNumber() + ", " + hexNoZeros(low8) + " = " +
                    hexNoZeros(checksum));
    }
    return true;
}

bool HxfReader::store(std::string_view text, int address, int n, std::int32_t& sum) {
    const bool code = text[0] == 'C';
    const std::span<std::uint8_t> memory =
        code ? std::span<std::uint8_t>(image_.FlashImage) : std::span<std::uint8_t>(image_.EEimage);
    // Refused whole, before any byte is stored, so nothing is ever written past the image.
    if (n > 0 && (address < 0 || address + n > static_cast<int>(memory.size()))) {
        return fail("Address out of range @ line " + lineNumber());
    }
    std::int64_t& stored = code ? report_.flashBytes : report_.eeBytes;
    for (int k = 0; k < n; ++k) {
        const int byte = HexVal(field(text, dataPosition(k), 2));
        // The bytes before it stay stored, as a failing record's bytes do.
        if (byte < 0) return fail("Bad Hex data byte @ line " + lineNumber());
        memory[static_cast<std::size_t>(address) + static_cast<std::size_t>(k)] =
            static_cast<std::uint8_t>(byte);
        ++stored;
        sum += byte;
    }
    return true;
}

std::string HxfReader::lineNumber() const {
    return std::to_string(report_.lines);
}

bool HxfReader::fail(const std::string& what) {
    report_.error = what;
    return false;
}

HxfReport readHxfText(std::string_view text, FirmwareImage& image,
                      std::vector<std::string>* notices) {
    HxfReader reader(image);
    HxfLineSplitter splitter;
    auto sink = [&](std::string_view line) {
        const bool goOn = reader.line(line);
        if (notices != nullptr && !reader.notice().empty()) notices->push_back(reader.notice());
        return goOn;
    };
    if (splitter.feed(text, sink)) splitter.finish(sink);
    return reader.report();
}

}  // namespace ondo
