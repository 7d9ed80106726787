// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/fake_serial.h"

#include <cstring>

namespace ondo::testing {

sio::Result FakeSerial::SioReset(int port, int rxQueue, int txQueue) {
    calls.push_back("SioReset(" + std::to_string(port) + "," + std::to_string(rxQueue) + "," +
                    std::to_string(txQueue) + ")");
    if (osErrorPorts.count(port)) return sio::kOsError;
    if (!present.count(port)) return sio::kNoSuchPort;
    open.insert(port);
    return sio::kOk;
}

sio::Result FakeSerial::SioParms(int port, int parity, int stopBits, int dataBits) {
    calls.push_back("SioParms(" + std::to_string(port) + "," + std::to_string(parity) + "," +
                    std::to_string(stopBits) + "," + std::to_string(dataBits) + ")");
    return open.count(port) ? sio::kOk : sio::kNotOpen;
}

sio::Result FakeSerial::SioBaud(int port, int speedCode) {
    calls.push_back("SioBaud(" + std::to_string(port) + "," + std::to_string(speedCode) + ")");
    return open.count(port) ? sio::kOk : sio::kNotOpen;
}

sio::Result FakeSerial::SioPutc(int port, int byte) {
    if (!open.count(port)) return sio::kNotOpen;
    if (lineLost) return sio::kOsError;
    sent.push_back(static_cast<char>(byte));
    if (onSend) onSend(static_cast<unsigned char>(byte));
    return sio::kOk;
}

int FakeSerial::SioRxQue(int port) {
    if (!open.count(port)) return sio::kNotOpen;
    if (lineLost) return sio::kOsError;
    return static_cast<int>(rx.size());
}

int FakeSerial::SioGetc(int port) {
    if (!open.count(port) || rx.empty()) return sio::kNoByte;
    int b = rx.front();
    rx.pop_front();
    return b;
}

sio::Result FakeSerial::SioRxClear(int port) {
    calls.push_back("SioRxClear(" + std::to_string(port) + ")");
    rx.clear();
    return sio::kOk;
}

sio::Result FakeSerial::SioDone(int port) {
    calls.push_back("SioDone(" + std::to_string(port) + ")");
    return open.erase(port) ? sio::kOk : sio::kNotOpen;
}

int FakeSerial::SioWinError(char* buffer, int length) {
    if (length <= 0) return 0;
    std::strncpy(buffer, "Permission denied", static_cast<std::size_t>(length) - 1);
    buffer[length - 1] = '\0';
    return static_cast<int>(std::strlen(buffer));
}

void FakeSerial::deliver(const std::string& bytes) {
    for (char c : bytes) rx.push_back(static_cast<unsigned char>(c));
}

void FakeSerial::deliverAt(int tick, const std::string& bytes) {
    scheduled_.emplace(tick, bytes);
}

void FakeSerial::advanceTo(int tick) {
    while (!scheduled_.empty() && scheduled_.begin()->first <= tick) {
        deliver(scheduled_.begin()->second);
        scheduled_.erase(scheduled_.begin());
    }
}

void TickPerYield::yield(int) {
    ++ticks;
    if (beforeTick) beforeTick(ticks);
    if (serial) serial->advanceTo(ticks);
    if (onTick) onTick();
}

}  // namespace ondo::testing
