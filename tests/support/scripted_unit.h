// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A unit for tests of the flash sequence over FakeSerial, with its own simple notion of the
// protocol (sim/ holds the independent, realistic one): the monitor echoes each command ended by
// CR and answers one line "X param" CR LF; "b" + version enters the bootloader, which sends ">"
// and the identification, answers "<", each page frame with one byte, then takes the end word.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/fake_serial.h"

namespace ondo::testing {

class ScriptedUnit {
  public:
    ScriptedUnit(FakeSerial& serial, TickPerYield& clock);

    std::string version = "0023";  // parameter of the "v" reply
    bool silent = false;           // the monitor answers nothing at all
    std::string identification = "AlaR";
    std::string beforePrompt;       // bytes the bootloader sends before its ">"
    bool bootloaderSilent = false;  // enters the bootloader but never identifies
    // The answer to a page frame, 0 for none (attempt counts from 0 for each page); by default "!"
    // when the checksum is right and "@" when it is not.
    std::function<unsigned char(int page, int attempt)> pageAnswer;
    int answerDelay = 0;              // ticks before each page answer arrives
    int replyDelay = 0;               // ticks before each monitor reply arrives
    bool lowerCaseConfirm = false;    // "e" confirmed with the address in lower case
    std::map<int, int> readOverride;  // address -> value the "a" command reports instead
    // Runs as each monitor command arrives, before the unit answers it.
    std::function<void(const std::string& command)> onCommand;

    void powerUpInBootloader();  // as a rescue power-up: ">" and the identification
    bool inBootloader() const { return mode_ != Mode::Monitor; }

    // Monitor commands as texts ("e001205"), and bootloader events "<", "page N", "end HHLL".
    std::vector<std::string> events;
    std::vector<std::vector<std::uint8_t>> frames;  // every page frame as received
    std::vector<std::uint8_t> flash;                // pages taken, 0xFF where never written
    std::vector<std::uint8_t> eeprom;               // 4096 bytes, 0xFF at power-up
    int restarts = 0;

    int commandCount(const std::string& command) const;

  private:
    enum class Mode { Monitor, AwaitOpen, Exchange, EndLow };
    void onByte(unsigned char byte);
    void monitorLine(const std::string& line);
    std::string reply(const std::string& line);
    void pageDone();
    void send(const std::string& bytes, int delay);

    FakeSerial& serial_;
    TickPerYield& clock_;
    Mode mode_ = Mode::Monitor;
    std::string line_;
    std::vector<std::uint8_t> frame_;
    std::map<int, int> attempts_;
    int pageSize_ = 0;
    int endHigh_ = 0;
};

// "%04X" and "%02X" of the double itself, so that it does not borrow the engine's helpers.
std::string hex4(int value);
std::string hex2(int value);

}  // namespace ondo::testing
