// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The whole update of a unit, from the first check to the final report: version check,
// bootloader entry (by command or by the rescue procedure), identification, the pages, the
// restart wait, the talk with the restarted firmware and the EEPROM update.
//
// Everything runs inside btnFlashStart_Click on the caller's thread; every wait yields through
// the link, so the Abort button, close requests and ticks run nested in the middle of a run and
// reach it through the link's AbortRequested and LineLost flags.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/face.h"
#include "firmware/image.h"
#include "link/link.h"
#include "protocol/bootloader.h"

namespace ondo {

// How a Start run ended, for front ends that report it (the command line's exit status).
enum class RunOutcome {
    NotRun,             // no run yet
    NoImage,            // no valid firmware image
    PortClosed,         // the port is not open
    NoComms,            // the unit's firmware did not answer the version query
    NeedsRescue,        // firmware too old for the command entry
    NoFile,             // the firmware file is gone from disk
    Cancelled,          // the rescue box answered with Cancel
    NoBootloader,       // no identification within 100 reads
    Aborted,            // Abort or a close request before the pages were done
    PageFailed,         // a page kept failing
    LineLost,           // the port went away during the run
    NoRestart,          // the unit did not answer after the restart
    EepromIncomplete,   // an EEPROM address was skipped, or the update was stopped with Cancel
    EepromSizeAssumed,  // an EE only run that never learned the unit's EEPROM size
    Complete,           // every step ran and was acknowledged and verified
};

// What a run did, for the report at its end. Counts start at zero with every run.
struct UpdateReport {
    std::string unitType;       // the bootloader's identification; empty when not asked (EE only)
    std::string versionBefore;  // the running firmware's before the run; empty on the rescue entry
    std::string versionAfter;   // after the run; empty when the run ended before asking
    int pagesSent = 0;          // pages acknowledged
    int framesResent = 0;       // page frames sent again after a failed attempt
    int eeWritten = 0;          // EEPROM addresses whose write the unit confirmed
    int eeVerified = 0;         // EEPROM addresses read back equal to the image
    int retries = 0;            // ProgRetries at the end
    double seconds = 0;         // from Start to the end of the run
    // Image bytes delivered: PageSize for each page acknowledged plus one for each EEPROM byte
    // written. Divided by `seconds` it is the line's effective throughput.
    long long payloadBytes = 0;
    // SHA-256, lower-case hex, of the code image as the page frames carried it (PageCount x
    // PageSize bytes from address 0, 0xFF past the file's end): given once every page was
    // acknowledged. Of the EEPROM image as written (EESize bytes from address 0): given once
    // every address was written. Empty otherwise.
    std::string codeSha256;
    std::string eepromSha256;

    double bytesPerSecond() const { return seconds > 0 ? payloadBytes / seconds : 0; }
};

// The report as one line of text, for the log and the terminal.
std::string reportLine(const UpdateReport& report);

// How a backup of the EEPROM through the running firmware ended.
enum class BackupOutcome {
    Complete,    // every address read, each reply four upper-case hex digits of one byte
    PortClosed,  // the port is not open
    NoUnit,      // the running firmware did not answer the version query
    ReadFailed,  // an address could not be read (bad replies, silence, a lost line)
    Aborted,     // Abort (Ctrl-C) during the reads
};

class FlashSequence {
  public:
    FlashSequence(Link& link, FirmwareImage& image, Face& face);

    // Handlers.
    void btnFlashStart_Click();  // Start: the whole update; a press while a run owns the unit does
                                 // nothing
    void btnAbort_Click();       // Abort: a stop request, the button greyed
    void chkEEOnly_Click();      // "EE only" ticked: Flash only and Rescue unticked
    void chkFlashOnly_Click();   // "Flash only?" ticked: EE only unticked
    void chkPromptOnComplete_Click();  // keeps the box's state in PromptSetting

    // One attempt at one page through the bootloader; true when the bootloader answered "!".
    bool ProgramPage(int page);

    // EEPROM update through the running firmware; each call makes up to five attempts.
    bool ProgEE(int address);
    bool verifyEE(int address);
    // Both passes; false when the user stopped at an error box or the line went away.
    bool ProgramEE();
    // Reads one address through the running firmware, up to five attempts, each reply taken
    // only as four upper-case hex digits of a byte; the byte is then HexVal(EEresponse).
    bool ReadEE(int address);
    // Reads addresses 0 to size - 1 into bytes with the running firmware, as a backup before
    // an update. It asks the version first (recorded as the version before the update) and
    // leaves the unit streaming readings again, as a finished run does.
    BackupOutcome BackupEE(int size, std::vector<std::uint8_t>& bytes);

    // The report of the last run (also of one that failed half-way).
    UpdateReport updateReport() const;

    // Flashing is true from the bootloader command (or, on the rescue entry, the identification)
    // until the run ends: a close request is then refused and acts as Abort. Before that a close
    // is granted and the run stops before anything reaches the bootloader. That the run owns the
    // unit as a whole is the link's RunClaim.
    bool Flashing = false;
    int PageSize = 0;   // bytes of one page, from the identification
    int PageCount = 0;  // pages of the code flash, from the identification
    int EndWord = 0;    // the two bytes that close the bootloader exchange
    int EESize = 512;   // EEPROM bytes updated
    // True once EESize comes from the unit: an identification, or a size the user gave. An EE
    // only run without it updates EESize bytes and says that a larger EEPROM got only part.
    bool EESizeKnown = false;
    int ProgRetries = 0;              // page attempts repeated in this run
    std::string PromptSetting = "1";  // the prompt box as stored: "1" or " 1" ticked, " 0" not

    // EEPROM work texts: the address, the data and the unit's reply of the last attempt.
    std::string EEaddr;
    std::string EEdata;
    std::string EEresponse;

    // A page is given this many series of ten attempts before the run gives up on it.
    static constexpr int kPageSeries = 3;
    // Attempts at one page in one series: the first call and nine retries.
    static constexpr int kPageAttempts = 10;
    // Bytes read while waiting for the bootloader's prompt.
    static constexpr int kBootloaderReads = 100;
    // Attempts at one EEPROM address in each pass.
    static constexpr int kEEAttempts = 5;

    RunOutcome lastOutcome() const { return outcome_; }
    bool running() const { return link_.unitBusy(); }

  private:
    void runSequence();
    bool preChecks();
    bool versionCheck();
    static bool fileExists(const std::string& name);
    bool stoppedBeforeTheUnit();
    bool enterBootloader();
    bool waitForBootloader();
    bool lookupUnitType(const std::string& id);
    bool programPages();
    bool pageLoop();
    bool retryPage(int page);
    bool stopBeforeFrame();
    bool giveUp(int page);
    void closeExchangeAndRestart();
    void firmwarePhase();
    void reportCompletion(bool eepromRan, bool eepromComplete);
    void reportAssumedSize(bool prompt, const std::string& retries);
    void finish();
    bool eeWritePass();
    bool eeVerifyPass();
    bool askToSkip(const MessageBox& box);
    bool readBack(int address, const std::function<bool(const std::string&)>& good,
                  const std::string& retryText);
    int askVersion();

    void endRun(RunOutcome outcome, const std::string& error);
    void restButtons();
    void report(Phase phase, int done, int total);
    std::string lostText() const;
    std::uint8_t flashByte(int address) const;  // 0xFF past the end of the image
    std::uint8_t eeByte(int address) const;

    Link& link_;
    FirmwareImage& image_;
    Face& face_;
    RunOutcome outcome_ = RunOutcome::NotRun;
    bool eepromSkipped_ = false;

    // What the report counts, reset at the start of each run.
    UpdateReport counts_;
    int framesSent_ = 0;
    std::chrono::steady_clock::time_point started_{};
    std::chrono::steady_clock::time_point ended_{};
};

}  // namespace ondo
