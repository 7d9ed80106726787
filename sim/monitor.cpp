// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace sim {
namespace {

constexpr std::chrono::milliseconds kReadingPeriod{100};
constexpr std::size_t kMaxCommand = 32;
constexpr char kCr = 13;
constexpr char kLf = 10;
const char* const kErrorReply = "? ERR";

// Upper-case hexadecimal digits only; anything else, or no digits, is malformed.
std::optional<int> parseHex(const std::string& text) {
    if (text.empty()) return std::nullopt;
    int value = 0;
    for (const char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) return std::nullopt;
        value = value * 16 + digit;
    }
    return value;
}

std::string hex4(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value & 0xFFFF);
    return text;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

void Monitor::powerUp(TimePoint now) {
    command_.clear();
    overflow_ = false;
    streaming_ = true;
    nextReading_ = now + kReadingPeriod;
}

Monitor::Event Monitor::receive(std::uint8_t byte, TimePoint now) {
    if (byte == kLf) return Event::kNone;
    unit_.send(std::string(1, static_cast<char>(byte)), Outbox::Kind::kEcho, now);
    if (byte != kCr) {
        if (command_.size() < kMaxCommand) {
            command_.push_back(static_cast<char>(byte));
        } else {
            overflow_ = true;
        }
        return Event::kNone;
    }
    const std::string command = command_;
    const bool overflow = overflow_;
    command_.clear();
    overflow_ = false;
    if (overflow) {
        reply(kErrorReply, now);
        return Event::kNone;
    }
    return execute(command, now);
}

Monitor::Event Monitor::execute(const std::string& command, TimePoint now) {
    const Options& o = unit_.options;
    if (command.empty()) return Event::kNone;  // a bare CR: echoed, no reply
    if (command == "tf" || command == "t1") {
        streaming_ = command == "t1";
        if (!streaming_) unit_.outbox.dropUnsentData();
        nextReading_ = now + kReadingPeriod;
        reply(streaming_ ? "T 1" : "T 0", now);
    } else if (command == "m0" || command == "m1") {
        reply(command == "m0" ? "M 0" : "M 1", now);
    } else if (command == "v") {
        reply("V " + o.version, now);
    } else if (command[0] == 'e') {
        writeEeprom(command, now);
    } else if (command[0] == 'a') {
        readEeprom(command, now);
    } else if (command[0] == 'b' && command.substr(1) == o.version) {
        return Event::kEnterBootloader;
    } else {
        reply(kErrorReply, now);
    }
    return Event::kNone;
}

// "e" AAAA DD: writes one byte and confirms with the address.
void Monitor::writeEeprom(const std::string& command, TimePoint now) {
    const auto address = command.size() == 7 ? parseHex(command.substr(1, 4)) : std::nullopt;
    const auto data = command.size() == 7 ? parseHex(command.substr(5, 2)) : std::nullopt;
    if (!address || !data || *address >= unit_.type.eepromSize) {
        reply(kErrorReply, now);
        return;
    }
    if (unit_.vanish.hit(VanishAt::Kind::kEeprom, *address)) return;
    unit_.eeprom[static_cast<std::size_t>(*address)] = static_cast<std::uint8_t>(*data);
    ++unit_.counters.eepromWrites;
    const Options& o = unit_.options;
    const bool lowerCase =
        o.lowerHex || o.eeLowerAll ||
        std::find(o.eeLower.begin(), o.eeLower.end(), *address) != o.eeLower.end();
    const std::string text = "E " + hex4(*address);
    reply(lowerCase ? lower(text) : text, now);
}

// "a" AAAA: answers the byte as four digits.
void Monitor::readEeprom(const std::string& command, TimePoint now) {
    const auto address = command.size() == 5 ? parseHex(command.substr(1, 4)) : std::nullopt;
    if (!address || *address >= unit_.type.eepromSize) {
        reply(kErrorReply, now);
        return;
    }
    if (unit_.vanish.hit(VanishAt::Kind::kEepromRead, *address)) return;
    if (useFault(unit_.options.eeBadReads, *address)) {
        reply(kErrorReply, now);
        return;
    }
    int value = unit_.eeprom[static_cast<std::size_t>(*address)];
    if (useFault(unit_.options.eeWrongReads, *address)) value ^= 0x01;
    const std::string text = "A " + hex4(value);
    reply(unit_.options.lowerHex ? lower(text) : text, now);
}

// A reply line: LF, the text, CR LF; it waits for the reply delay as one piece.
void Monitor::reply(std::string text, TimePoint now) {
    unit_.send(kLf + std::move(text) + kCr + kLf, Outbox::Kind::kReply,
               now + unit_.options.replyDelay);
}

void Monitor::tick(TimePoint now) {
    if (!streaming_ || now < nextReading_) return;
    // A reading never cuts into a command being typed or a reply still on its way.
    if (command_.empty() && !overflow_ && unit_.outbox.empty()) {
        unit_.send(reading(), Outbox::Kind::kData, now);
    }
    nextReading_ += kReadingPeriod;
    if (nextReading_ <= now) nextReading_ = now + kReadingPeriod;
}

std::optional<TimePoint> Monitor::nextDeadline() const {
    if (!streaming_) return std::nullopt;
    return nextReading_;
}

// "D", air-fuel ratio, lambda, sensor temperature: a slowly wandering but plausible reading.
std::string Monitor::reading() {
    afrHundredths_ = std::clamp(afrHundredths_ + unit_.random.below(21) - 10, 1440, 1500);
    const int lambdaThousandths = (afrHundredths_ * 1000 + 735) / 1470;
    const int temperature = 800 + unit_.random.below(25);
    char text[64];
    std::snprintf(text, sizeof text, "\nD %d.%02d %d.%03d %04d\r\n", afrHundredths_ / 100,
                  afrHundredths_ % 100, lambdaThousandths / 1000, lambdaThousandths % 1000,
                  temperature);
    return text;
}

}  // namespace sim
