// SPDX-License-Identifier: GPL-3.0-or-later
// The bootloader exchange around and of the pages: the unit type table, opening the exchange,
// one page frame and its answer, the page loop and closing the exchange.

#include <vector>

#include "core/messages.h"
#include "flash/sequence.h"
#include "protocol/bootloader.h"

namespace ondo {

namespace {
constexpr unsigned char kErased = 0xFF;  // what flash holds where the image has no byte
constexpr int kPageTickLimit = 5;
constexpr int kRestartTicks = 30;  // the unit restarts its firmware after the end word

const char* const kFlashingComplete = "Flashing complete. Awaiting soft reboot ...";
const char* const kNeedsRescue = "the unit needs a Rescue re-flash";
}  // namespace

bool FlashSequence::lookupUnitType(const std::string& id) {
    const UnitType* type = findUnitType(id);
    if (!type) return false;
    PageSize = type->pageSize;
    PageCount = type->pageCount;
    EESize = type->eeSize;
    EndWord = type->endWord;
    EESizeKnown = true;
    counts_.unitType = id;
    face_.unitIdentified(id);
    return true;
}

std::uint8_t FlashSequence::flashByte(int address) const {
    if (address < 0 || address >= kFlashImageSize) return kErased;
    return image_.FlashImage[static_cast<std::size_t>(address)];
}

bool FlashSequence::ProgramPage(int page) {
    // The bootloader sends nothing unasked, so a byte already waiting is an answer that came too
    // late for an earlier frame. Left there it would be read as this frame's answer, and every
    // later answer one frame behind: a page the bootloader refused could pass as taken.
    link_.drainToPane();
    ++framesSent_;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(PageSize));
    for (int i = 0; i < PageSize; ++i)
        data[static_cast<std::size_t>(i)] = flashByte(page * PageSize + i);
    for (const std::uint8_t byte : bootloader::pageFrame(page, data)) link_.sendRaw(byte);
    const unsigned char answer = link_.GetRawByte();
    const bootloader::PageAnswer said = bootloader::pageAnswer(answer);
    if (said == bootloader::PageAnswer::Taken) {
        face_.logAppend("!=");
        return true;
    }
    if (said == bootloader::PageAnswer::Rejected) {
        msgError(face_, "Programming failed on page " + std::to_string(page));
        return false;
    }
    face_.setDataLabel(std::string(1, static_cast<char>(answer)));
    face_.logAppend("???");
    ++ProgRetries;
    return false;
}

bool FlashSequence::programPages() {
    face_.setStartButton("Wait", false);
    // From the identification on the run owns the unit, on the rescue entry too: no console
    // text may fall into the page frames and the window stays open until the run ends.
    Flashing = true;
    link_.TickLimit = kPageTickLimit;
    msg(face_, "Programming " + std::to_string(PageCount) + " pages. " + std::to_string(PageSize) +
                   " bytes/page.");
    face_.logReplace("=");
    link_.sendRaw(bootloader::openExchange());
    link_.GetRawByte();  // its answer carries nothing
    ProgRetries = 0;
    return pageLoop();
}

// Pages in ascending order. A page advances only when its first attempt of a round succeeds; a
// failed first attempt starts a series of up to nine more. An Abort, a close request or a lost
// line ends the loop before the next frame, and a page gets kPageSeries series at most.
bool FlashSequence::pageLoop() {
    int page = 0;
    int series = 0;
    while (page < PageCount) {
        report(Phase::Pages, page, PageCount);
        if (stopBeforeFrame()) return false;
        if (ProgramPage(page)) {
            face_.logAppend(std::to_string(page) + "=");
            ++counts_.pagesSent;
            ++page;
            series = 0;
            continue;
        }
        if (series >= kPageSeries) return giveUp(page);
        ++series;
        const bool retried = retryPage(page);
        if (link_.AbortRequested || link_.LineLost) continue;  // the top of the loop ends the run
        if (!retried && series >= kPageSeries) return giveUp(page);
    }
    // A stop asked for while the last page's answer was awaited: the end word would not go out
    // (nothing is sent while an abort is pending), so the exchange is not closed either.
    if (stopBeforeFrame()) return false;
    report(Phase::Pages, PageCount, PageCount);
    return true;
}

bool FlashSequence::retryPage(int page) {
    for (int attempt = 1; attempt < kPageAttempts; ++attempt) {
        if (link_.AbortRequested || link_.LineLost) return false;
        if (ProgramPage(page)) return true;
    }
    return false;
}

// Ends the run when the user asked to stop or the line went away; true when it did.
bool FlashSequence::stopBeforeFrame() {
    if (link_.LineLost) {
        endRun(RunOutcome::LineLost, lostText());
        return true;
    }
    if (link_.AbortRequested) {
        endRun(RunOutcome::Aborted, std::string("Flashing aborted - ") + kNeedsRescue);
        return true;
    }
    return false;
}

bool FlashSequence::giveUp(int page) {
    endRun(RunOutcome::PageFailed,
           "Programming failed on page " + std::to_string(page) + " - giving up; " + kNeedsRescue);
    return false;
}

void FlashSequence::closeExchangeAndRestart() {
    for (const std::uint8_t byte : bootloader::endWord(EndWord)) link_.sendRaw(byte);
    face_.scrollText(std::string("\r\n") + kFlashingComplete + "\r\n");
    msgStatus(face_, kFlashingComplete);
    report(Phase::Restart, 0, kRestartTicks);
    link_.DelayTicks(kRestartTicks);
}

}  // namespace ondo
