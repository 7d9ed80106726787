// SPDX-License-Identifier: GPL-3.0-or-later
// The tick clock and the send and receive primitives of the monitor and the bootloader.

#include "link/link.h"

#include <cstdint>

#include "core/messages.h"
#include "protocol/monitor.h"

namespace ondo {

namespace {
constexpr int kShortLimit = 5;  // ticks: 500 to 600 ms
constexpr int kLongLimit = 25;  // ticks: 2.5 to 2.6 s
constexpr int kTickWrap = 32000;
}  // namespace

Link::Link(sio::SerialLibrary& library, Face& face, Waiter& waiter)
    : lib_(library), face_(face), waiter_(waiter) {}

void Link::keepResult(int result) {
    LastResult = static_cast<std::int16_t>(result);
}

int Link::rxCount() {
    const int count = lib_.SioRxQue(PortNumber);
    if (count == sio::kOsError) LineLost = true;
    return count;
}

sio::Result Link::putc(int byte) {
    const sio::Result result = lib_.SioPutc(PortNumber, byte);
    if (result == sio::kOsError) LineLost = true;
    return result;
}

void Link::yield(bool forByte) {
    if (!forByte || !PortOpen || LineLost) {
        waiter_.yield(Waiter::kNoByteWait);
        return;
    }
    const int handle = lib_.waitHandle(PortNumber);
    waiter_.yield(handle >= 0 ? handle : Waiter::kByteWaitWithoutHandle);
}

void Link::ResetTimeoutShort() {
    TickCount = 0;
    TickLimit = kShortLimit;
    TimedOut = false;
}

void Link::ResetTimeoutLong() {
    TickCount = 0;
    TickLimit = kLongLimit;
    TimedOut = false;
}

void Link::Timer1_Timer() {
    ++TickCount;
    if (TickCount > TickLimit) TimedOut = true;
    if (TickCount >= kTickWrap) TickCount = 0;
    if (!RxBusy) GetRxData();
}

void Link::DelayTicks(int count) {
    TickCount = 0;
    while (TickCount < count) {
        yield(false);
        face_.setDataLabel(" " + std::to_string(TickCount));
    }
    face_.setDataLabel("");
}

void Link::TxCommand(const std::string& command) {
    if (!PortOpen) return;
    TxString(command);
    putc(monitor::kCommandEnd);
}

void Link::TxString(const std::string& text) {
    if (!PortOpen) return;
    for (char c : text) putc(static_cast<unsigned char>(c));
}

void Link::sendRaw(unsigned char byte) {
    if (AbortRequested) return;
    keepResult(putc(byte));
}

std::string Link::GetResponse() {
    RxBusy = true;
    std::string text;
    ResetTimeoutShort();
    int lineFeeds = 0;
    while (!TimedOut && lineFeeds < 2) {
        if (rxCount() <= 0) {
            yield(true);
            continue;
        }
        const int byte = lib_.SioGetc(PortNumber);
        if (byte < 0) continue;
        if (byte == monitor::kReplyBreak) ++lineFeeds;
        if (lineFeeds >= 1) text += static_cast<char>(byte);
    }
    face_.dataHistory(text);
    RxBusy = false;
    return text;
}

unsigned char Link::GetRawByte() {
    RxBusy = true;
    ResetTimeoutShort();
    while (rxCount() <= 0 && !TimedOut && !AbortRequested) yield(true);
    if (!TimedOut && !AbortRequested) {
        keepResult(lib_.SioGetc(PortNumber));
        if (LastResult >= 0) face_.dataHistory(std::string(1, static_cast<char>(LastResult)));
    }
    if (LastResult < 0) LastResult = 255;
    RxBusy = false;
    return static_cast<unsigned char>(LastResult & 0xFF);
}

std::string Link::GetRawString(int size) {
    RxBusy = true;
    std::string text;
    ResetTimeoutShort();
    while (static_cast<int>(text.size()) < size && !TimedOut && !AbortRequested) {
        if (rxCount() >= 1) {
            keepResult(lib_.SioGetc(PortNumber));
            if (LastResult > 0) text += static_cast<char>(LastResult);
        } else {
            yield(true);
        }
    }
    RxBusy = false;
    face_.dataHistory(text);
    return text;
}

void Link::GetRxData() {
    if (!PortOpen) return;
    const int count = rxCount();
    if (count < 1) return;
    std::string text;
    text.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const int byte = lib_.SioGetc(PortNumber);
        if (byte >= 0) text += static_cast<char>(byte);
    }
    face_.dataHistory(text);
}

void Link::rxClear() {
    lib_.SioRxClear(PortNumber);
}

void Link::drainToPane() {
    std::string late;
    while (rxCount() > 0) {
        const int byte = lib_.SioGetc(PortNumber);
        if (byte < 0) break;
        late += static_cast<char>(byte);
    }
    if (!late.empty()) face_.dataHistory(late);
}

}  // namespace ondo
