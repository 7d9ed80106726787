#pragma once
// End to end: the real engine (the flash sequence, the link, the POSIX serial library, the Qt
// wait and a 100 ms tick) against the simulated unit on a pseudo-terminal, with a firmware file
// read by the real reader. COM1 is pointed at the simulator through the port map.

#include <gtest/gtest.h>

#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/settings.h"
#include "firmware/image.h"
#include "flash/sequence.h"
#include "link/link.h"
#include "link/qtwaiter.h"
#include "support/recording_face.h"
#include "support/sim_process.h"

namespace ondo::testing {

// Keeps every text the log was replaced with and what was appended to it, untrimmed, and lets a
// test act when a page or address is reached.
class EndToEndFace : public RecordingFace {
  public:
    void scrollText(const std::string& text) override {
        logs.back() += text;
        RecordingFace::scrollText(text);
    }
    void logAppend(const std::string& text) override {
        logs.back() += text;
        RecordingFace::logAppend(text);
    }
    void logReplace(const std::string& text) override {
        logs.push_back(text);
        RecordingFace::logReplace(text);
    }
    // The log that began with the pages' "=", or empty text.
    std::string pageLog() const {
        for (const auto& log : logs) {
            if (log.rfind("=", 0) == 0) return log;
        }
        return {};
    }
    void progress(const Progress& p) override {
        RecordingFace::progress(p);
        if (onProgress) onProgress(p);
    }
    std::vector<std::string> logs{std::string()};  // one entry per replacement of the log
    std::function<void(const Progress&)> onProgress;
};

class EndToEnd : public ::testing::Test {
  protected:
    EndToEnd();
    ~EndToEnd() override;

    // Starts the simulated unit with these options and opens COM1 on it. False (with the
    // reason recorded as a test failure) when either does not work.
    bool startUnit(const std::vector<std::string>& options);
    void run() { seq->btnFlashStart_Click(); }
    // The unit's memories as it dumps them now.
    std::vector<std::uint8_t> unitFlash();
    std::vector<std::uint8_t> unitEeprom();
    long long stat(const std::string& key);

    // Checks that the unit's flash holds the image (0xFF past its end) over pageSize *
    // pageCount bytes and its EEPROM the first eeSize bytes of the EEPROM image.
    void expectUnitHoldsTheImage(int flashBytes, int eeBytes);

    // A firmware file with every flash address 0 to 32768 and EEPROM address 0 to 2047, written
    // once for the test program.
    static const std::string& firmwareFile();

    // The one QCoreApplication of the test program, made before any timer or notifier.
    struct App {
        App();
    } app_;

    std::string iniFile;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<SimProcess> unit;
    EndToEndFace face;
    std::unique_ptr<sio::SerialLibrary> library;
    QtWaiter waiter;
    std::unique_ptr<Link> link;
    FirmwareImage image;
    std::unique_ptr<FlashSequence> seq;
    QTimer timer;
    int closesRefused = 0;
    int closesGranted = 0;
    bool dumped = false;
};

}  // namespace ondo::testing
