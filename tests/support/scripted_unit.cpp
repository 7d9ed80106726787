#include "support/scripted_unit.h"

#include <cctype>
#include <cstdio>
#include <stdexcept>

namespace ondo::testing {

namespace {
constexpr std::size_t kFlashBytes = 65536;
constexpr std::size_t kEepromBytes = 4096;
constexpr unsigned char kCr = 13;

int pageSizeOf(const std::string& id) {
    if (id == "AlaR") return 64;
    if (id == "NmaS" || id == "BmaS" || id == "EnbS") return 128;
    if (id == "XobS") return 256;
    return 0;
}
}  // namespace

std::string hex4(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value) & 0xFFFFu);
    return text;
}

std::string hex2(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(value) & 0xFFu);
    return text;
}

ScriptedUnit::ScriptedUnit(FakeSerial& serial, TickPerYield& clock)
    : flash(kFlashBytes, 0xFF), eeprom(kEepromBytes, 0xFF), serial_(serial), clock_(clock) {
    serial_.onSend = [this](unsigned char byte) { onByte(byte); };
}

int ScriptedUnit::commandCount(const std::string& command) const {
    int count = 0;
    for (const auto& e : events) count += e == command ? 1 : 0;
    return count;
}

void ScriptedUnit::send(const std::string& bytes, int delay) {
    if (delay <= 0) {
        serial_.deliver(bytes);
    } else {
        serial_.deliverAt(clock_.ticks + delay, bytes);
    }
}

void ScriptedUnit::onByte(unsigned char byte) {
    if (serial_.sent.size() > sendBudget) throw std::runtime_error("the run never stops sending");
    switch (mode_) {
        case Mode::Monitor:
            if (byte == kCr) {
                const std::string line = line_;
                line_.clear();
                monitorLine(line);
            } else {
                line_.push_back(static_cast<char>(byte));
            }
            return;
        case Mode::AwaitOpen:
            if (byte == '<') {
                events.push_back("<");
                mode_ = Mode::Exchange;
                send("<");
            }
            return;
        case Mode::Exchange:
            frameByte(byte);
            return;
        case Mode::EndLow:
            events.push_back("end " + hex2(endHigh_) + hex2(byte));
            ++restarts;
            mode_ = Mode::Monitor;
            return;
    }
}

void ScriptedUnit::monitorLine(const std::string& line) {
    events.push_back(line);
    if (onCommand) onCommand(line);
    if (silent) return;
    send(line + "\r\n" + reply(line) + "\r\n", replyDelay);
    if (line == "b" + version) enterBootloader();
}

std::string ScriptedUnit::reply(const std::string& line) {
    if (line == "v") return "V " + version;
    if (line.size() == 7 && line[0] == 'e') {
        const int address = std::stoi(line.substr(1, 4), nullptr, 16);
        eeprom.at(static_cast<std::size_t>(address)) =
            static_cast<std::uint8_t>(std::stoi(line.substr(5, 2), nullptr, 16));
        if (address == vanishAfterWrite) serial_.lineLost = true;
        std::string confirm = line.substr(1, 4);
        if (lowerCaseConfirm) {
            for (char& c : confirm) c = static_cast<char>(std::tolower(c));
        }
        return "E " + confirm;
    }
    if (line.size() == 5 && line[0] == 'a') {
        const int address = std::stoi(line.substr(1, 4), nullptr, 16);
        auto it = readOverride.find(address);
        const int value =
            it != readOverride.end() ? it->second : eeprom.at(static_cast<std::size_t>(address));
        return "A " + hex4(value);
    }
    return "OK " + line;
}

void ScriptedUnit::enterBootloader() {
    if (bootloaderSilent) {
        mode_ = Mode::AwaitOpen;
        return;
    }
    std::string greeting = beforePrompt;
    for (const auto& wrong : wrongIds) greeting += ">" + wrong;
    send(greeting + ">" + identification);
    pageSize_ = pageSizeOf(identification);
    mode_ = Mode::AwaitOpen;
}

void ScriptedUnit::powerUpInBootloader() {
    enterBootloader();
}

void ScriptedUnit::openExchange(int pageSize) {
    pageSize_ = pageSize;
    mode_ = Mode::Exchange;
    frame_.clear();
}

void ScriptedUnit::frameByte(unsigned char byte) {
    if (frame_.empty() && byte != 0x00) {
        endHigh_ = byte;
        mode_ = Mode::EndLow;
        return;
    }
    frame_.push_back(byte);
    if (frame_.size() == static_cast<std::size_t>(pageSize_) + 3) pageDone();
}

void ScriptedUnit::pageDone() {
    const int page = frame_[1];
    frames.push_back(frame_);
    const int attempt = frameCount[page]++;
    events.push_back("page " + std::to_string(page));
    unsigned sum = 0;
    for (int i = 0; i < pageSize_; ++i) sum += frame_[2 + static_cast<std::size_t>(i)];
    unsigned char answer = (sum & 0xFF) == frame_.back() ? '!' : '@';
    if (pageAnswer) answer = pageAnswer(page, attempt);
    if (answer == '!') {
        for (int i = 0; i < pageSize_; ++i) {
            flash.at(static_cast<std::size_t>(page * pageSize_ + i)) =
                frame_[2 + static_cast<std::size_t>(i)];
        }
    }
    frame_.clear();
    if (answer == '!' && page == vanishAfterPage) {
        serial_.lineLost = true;
        return;
    }
    send(std::string(1, static_cast<char>(answer)), answerDelay);
}

}  // namespace ondo::testing
