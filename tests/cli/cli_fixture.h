#pragma once
// What the command-line tests share: the sample firmware as the engine reads it, a demo run
// whose simulated unit leaves its memories and counters behind, and small text helpers.

#include <gtest/gtest.h>

#include <QJsonValue>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "firmware/image.h"

namespace ondo::testing {

// The sample firmware that --demo uses.
std::string samplePath();
// The sample read by the engine's own reader.
const FirmwareImage& sampleImage();

// The simulated AlaR unit's sizes.
inline constexpr std::size_t kAlaRFlashBytes = 124 * 64;
inline constexpr std::size_t kAlaREepromBytes = 512;
inline constexpr std::size_t kAlaRPageSize = 64;

// How often `needle` occurs in `text`.
int occurrences(const std::string& text, const std::string& needle);
inline bool contains(const std::string& text, const std::string& needle) {
    return text.find(needle) != std::string::npos;
}

// A JSON string value as text, so that a failed comparison prints it.
inline std::string text(const QJsonValue& value) {
    return value.toString().toStdString();
}

// "ondo-flash flash --demo ..." with the simulated unit's dumps and counters in a folder of
// the test's own: what the unit holds once the run has ended and the unit has been stopped.
class DemoRun : public ::testing::Test {
  protected:
    // Runs flash --demo with these options; simOptions go to the simulated unit besides its
    // dump and counter files.
    CliResult flash(std::vector<std::string> options, const std::string& simOptions = {});
    // Prepared but not run, for tests that add hooks or a terminal.
    CliRun demoRun(std::vector<std::string> options, const std::string& simOptions = {}) const;

    std::vector<std::uint8_t> unitFlash() const;
    std::vector<std::uint8_t> unitEeprom() const;
    long long stat(const std::string& key) const;

    // Byte-for-byte checks of the unit against the sample, over [from, to).
    void expectFlashIsSample(std::size_t from = 0, std::size_t to = kAlaRFlashBytes) const;
    void expectFlashErased(std::size_t from = 0, std::size_t to = kAlaRFlashBytes) const;
    void expectEepromIsSample(std::size_t from = 0, std::size_t to = kAlaREepromBytes) const;
    void expectEepromErased(std::size_t from = 0, std::size_t to = kAlaREepromBytes) const;

    TempFolder folder;
};

}  // namespace ondo::testing
