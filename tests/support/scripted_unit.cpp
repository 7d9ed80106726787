// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/scripted_unit.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace ondo::testing {

std::string hex4(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value) & 0xFFFFu);
    return text;
}

std::string hex2(int value) {
    return hex4(value).substr(2);
}

ScriptedUnit::ScriptedUnit(FakeSerial& serial, TickPerYield& clock)
    : flash(65536, 0xFF), eeprom(4096, 0xFF), serial_(serial), clock_(clock) {
    serial_.onSend = [this](unsigned char byte) { onByte(byte); };
}

int ScriptedUnit::commandCount(const std::string& command) const {
    return static_cast<int>(std::count(events.begin(), events.end(), command));
}

void ScriptedUnit::send(const std::string& bytes, int delay) {
    if (delay <= 0) {
        serial_.deliver(bytes);
    } else {
        serial_.deliverAt(clock_.ticks + delay, bytes);
    }
}

void ScriptedUnit::onByte(unsigned char byte) {
    if (serial_.sent.size() > 4'000'000) throw std::runtime_error("the run never stops sending");
    switch (mode_) {
        case Mode::Monitor:
            if (byte != '\r') return line_.push_back(static_cast<char>(byte));
            monitorLine(std::exchange(line_, {}));
            return;
        case Mode::AwaitOpen:
            if (byte != '<') return;
            events.push_back("<");
            mode_ = Mode::Exchange;
            return send("<", 0);
        case Mode::Exchange:
            if (frame_.empty() && byte != 0x00) {
                endHigh_ = byte;
                mode_ = Mode::EndLow;
                return;
            }
            frame_.push_back(byte);
            if (frame_.size() == static_cast<std::size_t>(pageSize_) + 3) pageDone();
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
    if (line == "b" + version) powerUpInBootloader();
}

std::string ScriptedUnit::reply(const std::string& line) {
    if (line == "v") return "V " + version;
    if (line.size() == 7 && line[0] == 'e') {
        const int address = std::stoi(line.substr(1, 4), nullptr, 16);
        eeprom.at(address) = static_cast<std::uint8_t>(std::stoi(line.substr(5, 2), nullptr, 16));
        std::string confirm = line.substr(1, 4);
        for (char& c : confirm) c = lowerCaseConfirm ? static_cast<char>(std::tolower(c)) : c;
        return "E " + confirm;
    }
    if (line.size() == 5 && line[0] == 'a') {
        const int address = std::stoi(line.substr(1, 4), nullptr, 16);
        return "A " +
               hex4(readOverride.count(address) ? readOverride[address] : eeprom.at(address));
    }
    return "OK " + line;
}

void ScriptedUnit::powerUpInBootloader() {
    mode_ = Mode::AwaitOpen;
    frame_.clear();  // what a stopped run left half sent is gone with the power
    if (bootloaderSilent) return;
    send(beforePrompt + ">" + identification, 0);
    const std::map<std::string, int> sizes{
        {"AlaR", 64}, {"NmaS", 128}, {"BmaS", 128}, {"EnbS", 128}, {"XobS", 256}};
    pageSize_ = sizes.count(identification) ? sizes.at(identification) : 0;
}

void ScriptedUnit::pageDone() {
    const int page = frame_[1];
    frames.push_back(frame_);
    const int attempt = attempts_[page]++;
    events.push_back("page " + std::to_string(page));
    unsigned sum = 0;
    for (int i = 0; i < pageSize_; ++i) sum += frame_[2 + i];
    const unsigned char answer = pageAnswer                      ? pageAnswer(page, attempt)
                                 : (sum & 0xFF) == frame_.back() ? '!'
                                                                 : '@';
    if (answer == '!')
        std::copy(frame_.begin() + 2, frame_.end() - 1, flash.begin() + page * pageSize_);
    frame_.clear();
    if (answer) send(std::string(1, static_cast<char>(answer)), answerDelay);  // 0: no answer
}

}  // namespace ondo::testing
