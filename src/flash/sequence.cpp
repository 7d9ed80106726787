// SPDX-License-Identifier: GPL-3.0-or-later
// The Start sequence: pre-checks, bootloader entry, the firmware phase and the final report,
// and the small handlers of the Abort button and the option boxes.

#include "flash/sequence.h"

#include <filesystem>
#include <system_error>

#include "core/messages.h"
#include "firmware/reader.h"
#include "protocol/monitor.h"

namespace ondo {

namespace {
// The first firmware that knows the bootloader command; older units need the rescue entry.
constexpr int kFirstCommandEntryVersion = 0x23;
constexpr int kVersionSettle = 5;  // ticks after "m0" (mode0) before the version query

const char* const kInterventionTitle = "Upgrade Requires Intervention";
}  // namespace

FlashSequence::FlashSequence(Link& link, FirmwareImage& image, Face& face)
    : link_(link), image_(image), face_(face) {}

void FlashSequence::btnFlashStart_Click() {
    // The button stays enabled while a run waits for the bootloader and during an EE only run;
    // a press from inside such a run would start a second run nested in the first.
    if (link_.unitBusy()) return;
    const Link::RunClaim claim(link_);
    // An abort or a close of an earlier run is no request to stop this one.
    link_.AbortRequested = false;
    runSequence();
    ended_ = std::chrono::steady_clock::now();
}

void FlashSequence::btnAbort_Click() {
    link_.AbortRequested = true;
    face_.setAbortEnabled(false);
}

void FlashSequence::chkEEOnly_Click() {
    if (!face_.option(Option::EEOnly)) return;
    if (face_.option(Option::FlashOnly)) face_.setOption(Option::FlashOnly, false);
    face_.setOption(Option::Rescue, false);
}

void FlashSequence::chkFlashOnly_Click() {
    if (!face_.option(Option::FlashOnly)) return;
    if (face_.option(Option::EEOnly)) face_.setOption(Option::EEOnly, false);
}

void FlashSequence::chkPromptOnComplete_Click() {
    PromptSetting = face_.option(Option::PromptOnComplete) ? " 1" : " 0";
}

void FlashSequence::runSequence() {
    eepromSkipped_ = false;
    counts_ = {};
    framesSent_ = 0;
    started_ = std::chrono::steady_clock::now();
    report(Phase::Checking, 0, 0);
    if (!preChecks()) return;
    if (face_.option(Option::EEOnly)) {
        if (stoppedBeforeTheUnit()) return;
    } else {
        if (!enterBootloader()) return;
        if (!programPages()) return;
        closeExchangeAndRestart();
        if (link_.LineLost) {
            endRun(RunOutcome::LineLost, lostText());
            return;
        }
    }
    firmwarePhase();
}

bool FlashSequence::preChecks() {
    if (!image_.FlashFileValid) {
        msgError(face_, "Must read a valid flash file first");
        outcome_ = RunOutcome::NoImage;
        return false;
    }
    if (!link_.PortOpen) {
        link_.openError();
        outcome_ = RunOutcome::PortClosed;
        return false;
    }
    if (!face_.option(Option::Rescue) && !versionCheck()) return false;
    const std::string name = face_.fileName();
    if (!fileExists(name)) {
        msgError(face_, "No File " + name);
        outcome_ = RunOutcome::NoFile;
        return false;
    }
    link_.ResetTimeoutLong();
    ProgRetries = 0;
    return true;
}

// Quiets the readings and asks the running firmware's version; 0 when it did not answer.
int FlashSequence::askVersion() {
    link_.TxCommand(monitor::stopReadings());
    link_.GetResponse();
    link_.TxCommand(monitor::mode0());
    link_.GetResponse();
    link_.DelayTicks(kVersionSettle);
    const int version = link_.GetVersion();
    counts_.versionBefore = link_.RomVersion;
    return version;
}

bool FlashSequence::versionCheck() {
    const int version = askVersion();
    if (version == 0) {
        face_.ask({"No Comms? Check for correct COM Port and wiring, etc.", kInterventionTitle,
                   Buttons::Ok, Icon::Exclamation});
        outcome_ = RunOutcome::NoComms;
        return false;
    }
    if (version < kFirstCommandEntryVersion) {
        face_.ask({"You must select the Rescue option\rfor Rev 0022 or lower firmware.",
                   kInterventionTitle, Buttons::Ok, Icon::Information});
        outcome_ = RunOutcome::NeedsRescue;
        return false;
    }
    return true;
}

// A close request (or a Ctrl-C) that came before anything reached the bootloader or the EEPROM
// stops the run there, with the unit as it was.
bool FlashSequence::stoppedBeforeTheUnit() {
    if (!link_.AbortRequested) return false;
    endRun(RunOutcome::Cancelled, "Update stopped - the unit was not changed");
    return true;
}

bool FlashSequence::fileExists(const std::string& name) {
    if (name.empty()) return false;
    std::error_code error;
    return std::filesystem::is_regular_file(fileSystemPath(name), error);
}

bool FlashSequence::enterBootloader() {
    if (face_.option(Option::Rescue)) {
        const MessageBox rescue{
            "Switch OFF the unit & take the cover OFF.\r\r"
            "Refer to documentation for the Rescue Re-flash Jumper's location.\r"
            "Place a temporary link across that jumper.\r"
            "Press OK just before you switch the power back ON.",
            "Rescue Requires a Temorary Jumper", Buttons::OkCancel, Icon::Exclamation};
        if (face_.ask(rescue) == Answer::Cancel) {
            outcome_ = RunOutcome::Cancelled;
            return false;
        }
        if (stoppedBeforeTheUnit()) return false;
    } else {
        if (stoppedBeforeTheUnit()) return false;
        Flashing = true;
        link_.rxClear();
        link_.TxCommand(monitor::enterBootloader(link_.RomVersion));
    }
    face_.setAbortEnabled(true);
    link_.AbortRequested = false;
    return waitForBootloader();
}

// Waits for the prompt ">" and the identification that follows it. An Abort or a close request
// makes a close request of the window (refused while Flashing, so on the command entry the
// window stays open) and ends the run.
bool FlashSequence::waitForBootloader() {
    for (int read = 0; read < kBootloaderReads; ++read) {
        report(Phase::Bootloader, read, kBootloaderReads);
        const unsigned char byte = link_.GetRawByte();
        if (link_.AbortRequested) {
            face_.requestClose();
            endRun(RunOutcome::Aborted, "Aborted while waiting for the bootloader");
            return false;
        }
        if (link_.LineLost) {
            endRun(RunOutcome::LineLost, lostText());
            return false;
        }
        if (!bootloader::isPrompt(byte)) continue;
        const std::string id = link_.GetRawString(bootloader::kIdLength);
        if (lookupUnitType(id)) return true;
        msgError(face_, "Invalid response >" + id);
        if (link_.AbortRequested) face_.requestClose();  // the next read then ends the run
    }
    if (link_.AbortRequested) {
        endRun(RunOutcome::Aborted, "Aborted while waiting for the bootloader");
    } else {
        endRun(RunOutcome::NoBootloader, "No answer from the bootloader");
    }
    return false;
}

// Steps after the restart (also the whole of an EE only run): the restarted firmware, the
// EEPROM update and the report.
// A close request refused during the pages or the restart wait is not carried out here: the
// window stays open until the run has ended, so that its outcome can be read.
void FlashSequence::firmwarePhase() {
    Flashing = true;
    report(Phase::Firmware, 0, 0);
    link_.TxCommand(monitor::stopReadings());
    link_.GetResponse();
    link_.TxCommand(monitor::stopReadings());
    link_.GetResponse();
    // The restarted unit streams readings until the first "tf"; one still on the line when
    // it went out puts every later reply one line behind its command. The tick's poll takes
    // such a stray reply during the settle, as it does in the version check.
    link_.DelayTicks(kVersionSettle);
    link_.TxCommand(monitor::version());
    const std::string reply = link_.GetResponse();
    msgStatus(face_, "Data from unit = " + (reply.size() > 2 ? reply.substr(2) : std::string()));
    if (reply.empty() && !link_.LineLost) {
        // Pages acknowledged are no proof that the new firmware runs; a unit that stays
        // silent after its restart is not reported as updated, nor sent 2 x EESize commands.
        endRun(RunOutcome::NoRestart, face_.option(Option::EEOnly)
                                          ? "No answer from the unit"
                                          : "No answer from the unit after the restart");
        return;
    }
    const bool eepromRuns = !face_.option(Option::FlashOnly) && !link_.LineLost;
    bool eepromComplete = true;
    if (eepromRuns) {
        link_.TxCommand(monitor::mode0());
        link_.GetResponse();
        eepromComplete = ProgramEE() && !eepromSkipped_;
    }
    if (link_.LineLost) {
        endRun(RunOutcome::LineLost, lostText());
        return;
    }
    reportCompletion(eepromRuns, eepromComplete);
    finish();
}

void FlashSequence::reportCompletion(bool eepromRan, bool eepromComplete) {
    const std::string retries = "(" + std::to_string(ProgRetries) + " retries).";
    const bool prompt = face_.option(Option::PromptOnComplete);
    if (eepromRan && eepromComplete && !EESizeKnown) {
        reportAssumedSize(prompt, retries);
        return;
    }
    if (!eepromRan || eepromComplete) {
        outcome_ = RunOutcome::Complete;
        msgStatus(face_, "Complete.");
        if (prompt) {
            face_.ask({"Flash and EEPROM Programming complete " + retries, "Programming complete",
                       Buttons::Ok, Icon::Information});
        }
        return;
    }
    outcome_ = RunOutcome::EepromIncomplete;
    msgError(face_, "EEPROM update incomplete.");
    if (prompt) {
        const std::string text =
            face_.option(Option::EEOnly)
                ? "The EEPROM update is incomplete " + retries
                : "Flash programmed, but the EEPROM update is incomplete " + retries;
        face_.ask({text, "Programming incomplete", Buttons::Ok, Icon::Exclamation});
    }
}

// Only an EE only run can get here without an identification. The bytes it wrote and verified
// are told as they are; that they were all of the unit's EEPROM is not claimed.
void FlashSequence::reportAssumedSize(bool prompt, const std::string& retries) {
    outcome_ = RunOutcome::EepromSizeAssumed;
    const std::string bytes = std::to_string(EESize) + " bytes";
    msgError(face_, "EEPROM size not known: " + bytes +
                        " updated; a larger EEPROM was updated only in part.");
    if (!prompt) return;
    face_.ask({"The unit's EEPROM size is not known (no identification since start-up).\r" + bytes +
                   " were written and verified " + retries +
                   "\rA unit with a larger EEPROM was updated only in part.",
               "EEPROM size not known", Buttons::Ok, Icon::Exclamation});
}

void FlashSequence::finish() {
    restButtons();
    switch (outcome_) {
        case RunOutcome::Complete:
            face_.scrollText("\r\nProgramming complete.");
            break;
        case RunOutcome::EepromSizeAssumed:
            face_.scrollText("\r\nEEPROM updated for " + std::to_string(EESize) +
                             " bytes only (size not known).");
            break;
        default:
            face_.scrollText("\r\nEEPROM update incomplete.");
    }
    link_.TxCommand(monitor::mode1());
    link_.GetResponse();
    link_.TxCommand(monitor::startReadings());
    link_.GetResponse();
    link_.GetVersion();
    // Only now: a close granted while "m1", "t1" and "v" were still under way would hide the
    // outcome before it could be read.
    Flashing = false;
    counts_.versionAfter = link_.RomVersion;
    report(Phase::Done, 0, 0);
}

void FlashSequence::endRun(RunOutcome outcome, const std::string& error) {
    outcome_ = outcome;
    msgError(face_, error);
    restButtons();
    Flashing = false;
}

void FlashSequence::restButtons() {
    face_.setStartButton("Start", true);
    face_.setAbortEnabled(false);
}

void FlashSequence::report(Phase phase, int done, int total) {
    face_.progress({phase, done, total, ProgRetries});
}

std::string FlashSequence::lostText() const {
    const std::string port =
        link_.PortName.empty() ? "COM" + std::to_string(link_.PortNumber + 1) : link_.PortName;
    return "Lost contact with the unit on " + port;
}

}  // namespace ondo
