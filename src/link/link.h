// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The link to the unit: a port opened by its number with its line settings, the tick clock, the
// send and receive primitives of the monitor and the bootloader, and the monitor queries. Which
// port to open, and what to say about it, is the port list's (src/ports).
//
// Every wait yields to the event loop through the Waiter while the receive queue is empty, so
// other handlers (ticks, Abort, close requests, key presses) run nested inside it and the
// flags below are how they coordinate.

#include <string>

#include "core/face.h"
#include "link/sio.h"
#include "link/waiter.h"

namespace ondo {

class Link {
  public:
    Link(sio::SerialLibrary& library, Face& face, Waiter& waiter);

    // Opens library port `number` (COMn is n - 1) for work: closes the port open before, empties
    // the data pane, resets the port with the working queues and applies the line settings. On
    // an operating-system error ErrorText holds the system's text. Returns SioReset's result.
    int openPort(int number);
    void setPort();    // 19 200 bit/s, eight data bits, no parity, one stop bit
    void openError();  // the status text for an operation that needs an open port
    void closePort();  // SioDone on PortNumber when PortOpen; used at shut-down
    // Keeps a serial library result in LastResult, as the signed 16-bit value it is read as.
    void keepResult(int result);

    // Tick clock.
    void Timer1_Timer();         // every 100 ms: counts, times out, polls the data stream
    void ResetTimeoutShort();    // a fresh wait of 5 ticks
    void ResetTimeoutLong();     // a fresh wait of the long limit
    void DelayTicks(int count);  // yields until count ticks have passed

    // Monitor commands and replies.
    void TxCommand(const std::string& command);  // the text and the command end (CR)
    void TxString(const std::string& text);      // the text alone
    std::string GetResponse();  // the reply: from the first line feed to the second, or time-out
    void GetRxData();           // the tick's poll: waiting bytes into the data pane

    // Bootloader bytes.
    void sendRaw(unsigned char byte);    // one byte, unless a stop is pending
    unsigned char GetRawByte();          // one byte, or LastResult's low byte on time-out/stop
    std::string GetRawString(int size);  // up to size bytes before a time-out or stop
    void rxClear();                      // SioRxClear on PortNumber
    // Moves every byte already waiting into the data pane, so that a late answer is neither
    // read as the answer to what goes out next nor lost from the user's view.
    void drainToPane();

    // Unit queries.
    std::string GetParameter();  // the reply's parameter (after the blank, four characters)
    int GetVersion();            // asks "v"; RomVersion, the version label, its value
    void lBootVersion_Click();   // the version label clicked: asks the unit its version again

    // A Start run owns the unit from its first step until it has ended: nothing but the run
    // sends to the port, closes it or reopens it, and the image it programs is the one read
    // before Start. The run holds a RunClaim for as long as it runs; the port list, the version
    // label, the console and the file reader ask unitBusy() and refuse while it is held.
    class RunClaim {
      public:
        explicit RunClaim(Link& link) : link_(link) { ++link_.runClaims_; }
        ~RunClaim() { --link_.runClaims_; }
        RunClaim(const RunClaim&) = delete;
        RunClaim& operator=(const RunClaim&) = delete;

      private:
        Link& link_;
    };
    bool unitBusy() const { return runClaims_ > 0; }
    // True (after saying so in the status line) when a run owns the unit.
    bool refuseWhileBusy();

    // Link state.
    bool PortOpen = false;
    int PortNumber = 0;
    std::string PortName;
    int LastResult = 0;  // kept as a signed 16-bit value
    std::string ErrorText;

    int TickCount = 0;
    int TickLimit = 5;
    bool TimedOut = false;
    bool AbortRequested = false;
    bool RxBusy = false;

    std::string RomVersion;

    // True once the serial library reported that the device has gone (an operating-system error
    // on a send or on the receive count): a vanished unit, an unplugged adapter. Cleared when a
    // port is opened.
    bool LineLost = false;

    sio::SerialLibrary& library() { return lib_; }
    Face& face() { return face_; }

  private:
    void yield(bool forByte);
    int rxCount();               // SioRxQue on PortNumber, noting a vanished device
    sio::Result putc(int byte);  // SioPutc on PortNumber, noting a vanished device

    sio::SerialLibrary& lib_;
    Face& face_;
    Waiter& waiter_;
    int runClaims_ = 0;
};

// The system's text for the serial library's last operating-system error (SioWinError), at most
// 127 characters; SioWinError's own result goes to `result` when one is given.
std::string systemErrorText(sio::SerialLibrary& library, int* result = nullptr);

}  // namespace ondo
