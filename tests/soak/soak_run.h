#pragma once
// One whole update through the command-line mode against the simulated unit, and what came of
// it: what the utility reported (exit status and its final "end" event) set against what the
// unit holds afterwards (its flash and EEPROM dumps against the firmware image).

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "soak/soak_plan.h"

namespace ondo::testing {

enum class Verdict {
    Correct,         // reported complete, and the unit holds the image
    ReportedFailed,  // reported failed (exit 5 to 9)
    FlashWrongOk,    // reported complete, but the flash differs: the bootloader cannot read back
    EepromWrongOk,   // reported complete, but the EEPROM differs: must never happen
    Hang,            // the run outlived its bound or went silent too long, and was killed
    Broken,          // an exit status that does not fit the run, a crash, or a harness failure
};

const char* verdictName(Verdict verdict);

// The firmware the soak flashes: a file with a code byte at every flash address and an EEPROM
// byte at the first 2048 addresses, the bytes drawn from a fixed seed so every page differs.
struct SoakFirmware {
    explicit SoakFirmware(const std::string& path);
    std::string path;
    std::vector<std::uint8_t> flash;   // by flash address, 32769 bytes
    std::vector<std::uint8_t> eeprom;  // by EEPROM address, 2048 bytes
};

struct SoakResult {
    SoakPlan plan;
    Verdict verdict = Verdict::Broken;
    int exitCode = -1;
    std::string outcome;  // the "end" event's outcome
    std::string message;  // and its message: the last error, or "complete"
    bool flashRight = false;
    bool eepromRight = false;
    double seconds = 0;
    double longestSilence = 0;  // the longest stretch without a line of progress output
    double faultsExpected = 0;  // the byte rates times the bytes they applied to
    std::string note;           // why a run is Broken or hung
};

// With no output for this long a run counts as hung: the longest quiet stretch of a healthy run
// is one page's series of retries, ten time-outs of 0.6 s, or the 3 s restart wait; five times
// that leaves room for a loaded machine.
inline constexpr std::chrono::seconds kSilenceBound{30};

SoakResult runSoak(const SoakPlan& plan, const SoakFirmware& firmware);

// The command that replays one run.
std::string replayCommand(const SoakPlan& plan);

}  // namespace ondo::testing
