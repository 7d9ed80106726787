// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the HXF reader. Besides the sanitizers' checks (no read or write outside
// the image, no undefined behaviour), it checks that the way a file is cut into chunks never
// changes what is read, and that no line is ever held beyond what can matter.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/hxf.h"

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "hxf_fuzz: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    ondo::FirmwareImage whole;
    std::vector<std::string> wholeNotices;
    const ondo::HxfReport expected = ondo::readHxfText(text, whole, &wholeNotices);

    // The same text in chunks of a size the input itself chooses.
    const std::size_t chunk = size == 0 ? 1 : data[0] % 17 + 1;
    ondo::FirmwareImage pieces;
    ondo::HxfReader reader(pieces);
    ondo::HxfLineSplitter splitter;
    std::vector<std::string> notices;
    auto sink = [&](std::string_view line) {
        check(line.size() <= ondo::kHxfLineKeep, "line held beyond what can matter");
        const bool goOn = reader.line(line);
        if (!reader.notice().empty()) notices.push_back(reader.notice());
        return goOn;
    };
    bool goOn = true;
    for (std::size_t at = 0; goOn && at < size; at += chunk) {
        goOn = splitter.feed(text.substr(at, chunk), sink);
        check(splitter.held() <= ondo::kHxfLineKeep, "splitter holds too much");
    }
    if (goOn) splitter.finish(sink);

    const ondo::HxfReport& got = reader.report();
    check(got.lines == expected.lines, "line count depends on chunks");
    check(got.flashBytes == expected.flashBytes, "flash count depends on chunks");
    check(got.eeBytes == expected.eeBytes, "EEPROM count depends on chunks");
    check(got.error == expected.error, "error depends on chunks");
    check(notices == wholeNotices, "notices depend on chunks");
    check(pieces.FlashImage == whole.FlashImage, "flash image depends on chunks");
    check(pieces.EEimage == whole.EEimage, "EEPROM image depends on chunks");
    check(!whole.FlashFileValid, "the parser never decides validity");
    check(expected.flashBytes + expected.eeBytes <= 255 * expected.lines, "more bytes than lines");
    return 0;
}
