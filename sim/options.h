// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Command-line options of the simulated unit: what it is (type, version), how it talks (pace,
// reply delay) and which faults it injects. Parsed once at start; the rest of the program only
// reads them.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// A fault tied to one page or one EEPROM address, applied a number of times.
struct CountedFault {
    static constexpr int kAlways = -1;
    int where = 0;  // page number or EEPROM address
    int count = 1;  // times left; kAlways never runs out
};

struct LatePage {
    int page = 0;
    std::chrono::milliseconds delay{0};
};

// The point at which the unit closes its pseudo-terminal, as if it had been unplugged.
struct VanishAt {
    enum class Kind { kNever, kPage, kEeprom, kEepromRead, kBoot };
    Kind kind = Kind::kNever;
    int value = 0;  // page number or EEPROM address
};

struct Options {
    std::string version = "0024";
    std::string type = "AlaR";
    bool silent = false;
    bool lowerHex = false;
    bool pace = false;
    bool noId = false;
    std::chrono::milliseconds replyDelay{0};
    std::chrono::milliseconds restart{1500};
    std::chrono::milliseconds adapterLatency{0};  // 0: no USB adapter on the line
    double faultRate = 0.0;                       // per byte the unit sends: garbled or dropped
    double dropRate = 0.0;                        // per byte the host sends: lost
    double flipRate = 0.0;                        // per byte the host sends: one bit flipped
    std::uint32_t seed = 1;
    std::vector<CountedFault> garblePages;
    std::vector<CountedFault> rejectPages;
    std::vector<LatePage> latePages;
    std::string wrongId;
    int wrongIdCount = 0;
    std::vector<int> eeLower;
    bool eeLowerAll = false;
    std::vector<CountedFault> eeWrongReads;
    std::vector<CountedFault> eeBadReads;
    VanishAt vanish;
    std::string eeInit;
    std::string dump;
    std::string stats;
    std::string control;
    std::string ack;
    std::string pathFile;
    std::string link;
};

// Parses argv. On a bad option returns nothing and sets error to a line for the user.
std::optional<Options> parseOptions(int argc, char** argv, std::string& error);

// The usage text printed for --help and after an error.
std::string usage();

}  // namespace sim
