#pragma once
// The whole update of a unit, from the first check to the final report: version check,
// bootloader entry (by command or by the rescue procedure), identification, the pages, the
// restart wait, the talk with the restarted firmware and the EEPROM update.

#include <string>

#include "core/face.h"
#include "firmware/image.h"
#include "link/link.h"

namespace ondo {

// How a Start run ended, for front ends that report it (the command line's exit status).
enum class RunOutcome {
    NotRun,            // no run yet
    NoImage,           // no valid firmware image
    PortClosed,        // the port is not open
    NoComms,           // the unit's firmware did not answer the version query
    NeedsRescue,       // firmware too old for the command entry
    NoFile,            // the firmware file is gone from disk
    Cancelled,         // the rescue box answered with Cancel
    NoBootloader,      // no identification within 100 reads
    Aborted,           // Abort or a close request before the pages were done
    PageFailed,        // a page kept failing
    LineLost,          // the port went away during the run
    EepromIncomplete,  // an EEPROM address was skipped, or the update was stopped with Cancel
    Complete,          // every step ran and was acknowledged and verified
};

class FlashSequence {
public:
    FlashSequence(Link& link, FirmwareImage& image, Face& face);

    // Handlers.
    void btnFlashStart_Click();
    void btnAbort_Click();
    void chkEEOnly_Click();
    void chkFlashOnly_Click();
    void chkPromptOnComplete_Click();

    // One page through the bootloader.
    bool ProgramPage(int page);

    // EEPROM update through the running firmware.
    bool ProgEE(int address);
    bool verifyEE(int address);
    bool ProgramEE();

    // Flashing state.
    bool Flashing = false;
    int PageSize = 0;
    int PageCount = 0;
    int EndWord = 0;
    int EESize = 512;
    int ProgRetries = 0;
    std::string PromptSetting = "1";

    // EEPROM work texts.
    std::string EEaddr;
    std::string EEdata;
    std::string EEresponse;

    // A page is given this many series of ten attempts before the run gives up on it.
    static constexpr int kPageSeries = 3;

    RunOutcome lastOutcome() const { return outcome_; }
    bool running() const { return running_; }

private:
    void runSequence();
    bool preChecks();
    bool enterBootloader();
    bool waitForBootloader(bool rescue);
    bool programPages();
    void closeExchangeAndRestart();
    void firmwarePhase();
    void finish();
    void endRun(RunOutcome outcome);
    bool lookupUnitType(const std::string& id);
    std::string ExistingFileCheck() const;

    Link& link_;
    FirmwareImage& image_;
    Face& face_;
    RunOutcome outcome_ = RunOutcome::NotRun;
    bool running_ = false;
    bool eepromSkipped_ = false;
};

}  // namespace ondo
