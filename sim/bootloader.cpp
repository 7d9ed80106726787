// SPDX-License-Identifier: GPL-3.0-or-later
#include "bootloader.h"

#include <algorithm>
#include <string>

namespace sim {
namespace {

// A frame that stops for longer than this is dropped without an answer, so that one byte lost
// on the line costs one frame rather than shifting every frame after it.
constexpr std::chrono::milliseconds kFrameStall{200};
constexpr std::uint8_t kPrompt = '>';
constexpr std::uint8_t kOpen = '<';
constexpr std::uint8_t kOpenAnswer = '<';
constexpr std::uint8_t kGood = '!';
constexpr std::uint8_t kBad = '@';

}  // namespace

void Bootloader::start(TimePoint now, std::chrono::milliseconds delay) {
    state_ = State::kStarting;
    announceAt_ = now + delay;
    data_.clear();
}

void Bootloader::announce(TimePoint now) {
    const Options& o = unit_.options;
    std::string text;
    for (int i = 0; i < o.wrongIdCount; ++i) text += static_cast<char>(kPrompt) + o.wrongId;
    text += static_cast<char>(kPrompt);
    if (!o.noId) text += unit_.type.id;
    unit_.send(text, Outbox::Kind::kBoot, now);
    state_ = State::kAwaitOpen;
}

bool Bootloader::midFrame() const {
    return state_ == State::kPage || state_ == State::kData || state_ == State::kChecksum ||
           state_ == State::kEndLow;
}

void Bootloader::tick(TimePoint now) {
    if (state_ == State::kStarting && now >= announceAt_) announce(now);
    if (midFrame() && now - lastByte_ > kFrameStall) state_ = State::kAwaitFrame;
}

std::optional<TimePoint> Bootloader::nextDeadline() const {
    if (state_ == State::kStarting) return announceAt_;
    if (midFrame()) return lastByte_ + kFrameStall + std::chrono::milliseconds(1);
    return std::nullopt;
}

Bootloader::Event Bootloader::receive(std::uint8_t byte, TimePoint now) {
    tick(now);
    switch (state_) {
        case State::kStarting:
            return Event::kNone;  // still resetting: the byte is lost
        case State::kAwaitOpen:
            if (byte == kOpen) {
                unit_.send(std::string(1, static_cast<char>(kOpenAnswer)), Outbox::Kind::kBoot,
                           now);
                state_ = State::kAwaitFrame;
            }
            return Event::kNone;
        default:
            lastByte_ = now;
            return frameByte(byte, now);
    }
}

Bootloader::Event Bootloader::frameByte(std::uint8_t byte, TimePoint now) {
    switch (state_) {
        case State::kAwaitFrame:
            endHigh_ = byte;
            state_ = byte == 0 ? State::kPage : State::kEndLow;
            break;
        case State::kPage:
            page_ = byte;
            data_.clear();
            state_ = State::kData;
            if (unit_.vanish.hit(VanishAt::Kind::kPage, page_)) state_ = State::kAwaitFrame;
            break;
        case State::kData:
            data_.push_back(byte);
            if (static_cast<int>(data_.size()) == unit_.type.pageSize) state_ = State::kChecksum;
            break;
        case State::kChecksum:
            finishFrame(byte, now);
            state_ = State::kAwaitFrame;
            break;
        case State::kEndLow:
            unit_.counters.endWord = endHigh_ << 8 | byte;
            return Event::kRestart;
        default:
            break;
    }
    return Event::kNone;
}

void Bootloader::finishFrame(std::uint8_t checksum, TimePoint now) {
    unsigned sum = 0;
    for (const std::uint8_t b : data_) sum += b;
    const bool good = page_ < unit_.type.pageCount && (sum & 0xFF) == checksum &&
                      !useFault(unit_.options.rejectPages, page_);
    if (good) {
        std::copy(data_.begin(), data_.end(),
                  unit_.flash.begin() + static_cast<std::ptrdiff_t>(page_) * unit_.type.pageSize);
        ++unit_.counters.pagesStored;
    } else {
        ++unit_.counters.pagesRejected;
    }
    answer(static_cast<std::uint8_t>(page_), good, now);
}

// "!" for a stored page, "@" for a refused one; the faults garble or delay a "!".
void Bootloader::answer(std::uint8_t page, bool stored, TimePoint now) {
    std::uint8_t byte = stored ? kGood : kBad;
    TimePoint at = now;
    if (stored && useFault(unit_.options.garblePages, page)) {
        do {
            byte = static_cast<std::uint8_t>(unit_.random.below(256));
        } while (byte == kGood || byte == kBad);
    }
    for (LatePage& late : unit_.options.latePages) {
        if (stored && late.page == page && late.delay.count() > 0) {
            at += late.delay;
            late.delay = std::chrono::milliseconds(0);  // late once
            break;
        }
    }
    unit_.send(std::string(1, static_cast<char>(byte)), Outbox::Kind::kBoot, at);
}

}  // namespace sim
