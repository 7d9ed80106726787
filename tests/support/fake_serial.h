// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An in-memory serial library and a clock that ticks once per yield, for tests of the link and
// the sequence that need no pseudo-terminal and run in no real time.

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "link/sio.h"
#include "link/waiter.h"

namespace ondo::testing {

class FakeSerial : public sio::SerialLibrary {
  public:
    // Ports that SioReset can open (library numbers); every other number fails with -2.
    std::set<int> present{0};
    // Ports whose SioReset fails with the operating-system error -103 ("Permission denied").
    std::set<int> osErrorPorts;

    // Called for each byte sent, after it is logged; scripts the unit's behaviour.
    std::function<void(unsigned char)> onSend;

    sio::Result SioReset(int port, int rxQueue, int txQueue) override;
    sio::Result SioParms(int port, int parity, int stopBits, int dataBits) override;
    sio::Result SioBaud(int port, int speedCode) override;
    sio::Result SioPutc(int port, int byte) override;
    int SioRxQue(int port) override;
    int SioGetc(int port) override;
    sio::Result SioRxClear(int port) override;
    sio::Result SioDone(int port) override;
    int SioWinError(char* buffer, int length) override;
    int waitHandle(int) const override { return -1; }

    // Bytes the unit sends: at once, or after the given number of further ticks.
    void deliver(const std::string& bytes);
    void deliverAt(int tick, const std::string& bytes);
    // Moves bytes scheduled up to this tick into the receive queue.
    void advanceTo(int tick);

    // Everything sent on any port, in order.
    std::string sent;
    // The calls made, as "SioReset(2,8192,256)" texts, for tests of call order.
    std::vector<std::string> calls;
    std::set<int> open;
    std::deque<unsigned char> rx;
    bool lineLost = false;  // the device has gone: sends and reads fail with -103

  private:
    std::multimap<int, std::string> scheduled_;
};

// A clock for tests: every yield counts as one timer tick, so waits run in no real time.
class TickPerYield : public Waiter {
  public:
    // Runs on each tick (the link's Timer1_Timer).
    std::function<void()> onTick;
    // Runs before each tick; tests press buttons or request closes from here.
    std::function<void(int tick)> beforeTick;
    FakeSerial* serial = nullptr;  // its scheduled bytes arrive as the ticks pass
    int ticks = 0;
    void yield(int) override;
};

}  // namespace ondo::testing
