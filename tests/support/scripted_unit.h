#pragma once
// A unit for tests of the flash sequence, speaking over FakeSerial: its monitor (text commands
// ended by CR, echoed, then one reply line "X param" CR LF), its bootloader (">" and four
// identification bytes, "<", page frames answered with one byte, the two end bytes, the
// restart) and an EEPROM. It records what it was told, so tests check the wire and the result.
//
// A test double with its own notion of the protocol, kept deliberately simple; the simulated
// unit under sim/ is the independent, realistic one.

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

    // --- Behaviour ---
    std::string version = "0023";  // parameter of the "v" reply
    bool silent = false;           // the monitor answers nothing at all
    std::string identification = "AlaR";
    std::string beforePrompt;           // bytes the bootloader sends before its first ">"
    std::vector<std::string> wrongIds;  // each sent as ">" + id before the right one
    bool bootloaderSilent = false;      // enters the bootloader but never identifies
    // The answer to one page frame (attempt counts from 0 for each page); by default "!" when
    // the checksum is right and "@" when it is not.
    std::function<unsigned char(int page, int attempt)> pageAnswer;
    int answerDelay = 0;              // ticks before each page answer arrives
    int replyDelay = 0;               // ticks before each monitor reply arrives
    bool lowerCaseConfirm = false;    // "e" confirmed with the address in lower case
    std::map<int, int> readOverride;  // address -> value the "a" command reports instead
    int vanishAfterPage = -1;         // the device goes away once this page was taken
    int vanishAfterWrite = -1;        // ... once this EEPROM address was written
    // Runs as each monitor command arrives, before the unit answers it; tests look at the
    // engine's state here or press its buttons.
    std::function<void(const std::string& command)> onCommand;
    std::size_t sendBudget = 4'000'000;  // a run sending more than this is stuck: the test fails

    // Puts the unit into its bootloader as a rescue power-up does: ">" and the identification.
    void powerUpInBootloader();
    // Puts the unit straight into the page exchange (after "<") for a unit of this page size.
    void openExchange(int pageSize);

    // --- What it was told ---
    // Monitor commands as texts ("tf", "b0023", "e0012 05" without blank: "e001205"), and
    // bootloader events "<", "page N", "end HHLL".
    std::vector<std::string> events;
    std::vector<std::vector<std::uint8_t>> frames;  // every page frame as received, whole
    std::map<int, int> frameCount;                  // frames received per page number
    std::vector<std::uint8_t> flash;                // pages taken, 0xFF where never written
    std::vector<std::uint8_t> eeprom;               // 4096 bytes, 0xFF at power-up
    int restarts = 0;

    int commandCount(const std::string& command) const;

  private:
    enum class Mode { Monitor, AwaitOpen, Exchange, EndLow };
    void onByte(unsigned char byte);
    void monitorLine(const std::string& line);
    std::string reply(const std::string& line);
    void enterBootloader();
    void frameByte(unsigned char byte);
    void pageDone();
    void send(const std::string& bytes, int delay = 0);

    FakeSerial& serial_;
    TickPerYield& clock_;
    Mode mode_ = Mode::Monitor;
    std::string line_;
    std::vector<std::uint8_t> frame_;
    int pageSize_ = 0;
    int endHigh_ = 0;
};

// "%04X" and "%02X" of the double itself, so that it does not borrow the engine's helpers.
std::string hex4(int value);
std::string hex2(int value);

}  // namespace ondo::testing
