// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/messages.h"

namespace ondo {

namespace {
constexpr std::size_t kLogLimit = 4096;
constexpr std::size_t kLogKeepFrom = 3072;  // 1-based position
constexpr std::size_t kPaneLimit = 1024;
constexpr std::size_t kPaneKeepFrom = 512;  // 1-based position
}  // namespace

std::string scrollTextAppend(std::string log, const std::string& text) {
    if (log.size() > kLogLimit) log.erase(0, kLogKeepFrom - 1);
    log += text;
    return log;
}

std::string dataHistoryAppend(std::string pane, const std::string& text) {
    pane += text;
    if (pane.size() > kPaneLimit) pane.erase(0, kPaneKeepFrom - 1);
    return pane;
}

std::size_t utf8SequenceAt(const std::string& text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead >= 0xF0 && lead <= 0xF4  ? 4
                               : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xC2 && lead < 0xE0 ? 2
                                                             : 0;
    if (length == 0 || i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
    const auto second = static_cast<unsigned char>(text[i + 1]);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90))
        return 0;  // over-long forms, surrogates and code points beyond U+10FFFF
    return length;
}

}  // namespace ondo
