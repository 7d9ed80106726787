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

}  // namespace ondo
