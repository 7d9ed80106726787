#pragma once
// The bench for the flash sequence: the real link over the in-memory serial library, a clock
// that ticks once per yield, a recording face that also plays the window's close rule, and a
// scripted unit on the other end of the line.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "flash/sequence.h"
#include "link/link.h"
#include "support/fake_serial.h"
#include "support/recording_face.h"
#include "support/scripted_unit.h"

namespace ondo::testing {

// Keeps the progress log untrimmed since its last replacement, and every replacement.
class LogFace : public RecordingFace {
  public:
    void scrollText(const std::string& text) override {
        fullLog += text;
        RecordingFace::scrollText(text);
    }
    void logAppend(const std::string& text) override {
        fullLog += text;
        RecordingFace::logAppend(text);
    }
    void logReplace(const std::string& text) override {
        fullLog = text;
        replacedLogs.push_back(text);
        RecordingFace::logReplace(text);
    }
    std::string fullLog;
    std::vector<std::string> replacedLogs;
};

class FlashBench : public ::testing::Test {
  protected:
    FlashBench();
    ~FlashBench() override;

    void run() { seq.btnFlashStart_Click(); }

    // The frame of one page as the image gives it, 0xFF past the image's end.
    std::string expectedFrame(int page, int pageSize) const;
    // The monitor commands and bootloader events the unit saw, from the first equal to from.
    std::vector<std::string> eventsFrom(const std::string& from) const;
    std::vector<MessageBox> boxesTitled(const std::string& title) const;
    int statusCount(const std::string& text) const;
    bool atRest() const;

    FakeSerial serial;
    TickPerYield clock;
    LogFace face;
    Link link{serial, face, clock, [] { return std::string("COM1"); }};
    FirmwareImage image;
    FlashSequence seq{link, image, face};
    ScriptedUnit unit{serial, clock};
    std::filesystem::path file;

    // The window's rule for close requests: always an abort request, refused while Flashing.
    int closesRefused = 0;
    int closesGranted = 0;
    // Runs before each tick, after the hang guard.
    std::function<void(int tick)> atTick;
    static constexpr int kTickBudget = 200000;
};

// Where two byte strings first differ, as a readable note; empty when they are equal.
std::string firstDifference(const std::string& actual, const std::string& expected);

}  // namespace ondo::testing
