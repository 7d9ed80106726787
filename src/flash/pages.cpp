// The bootloader exchange around and of the pages: the unit type table, opening the exchange,
// one page frame and its answer, the page loop and closing the exchange.

#include <array>

#include "core/messages.h"
#include "flash/sequence.h"

namespace ondo {

namespace {
constexpr std::array<UnitType, 5> kUnitTypes{{
    {"AlaR", 64, 124, 512, 0x03FF},
    {"NmaS", 128, 126, 512, 0xFFFF},
    {"BmaS", 128, 126, 512, 0x03FE},
    {"EnbS", 128, 252, 1024, 0x03FE},
    {"XobS", 256, 252, 2048, 0xFFFF},
}};

constexpr unsigned char kOpenExchange = '<';
constexpr unsigned char kFrameStart = 0x00;
constexpr unsigned char kPageTaken = '!';
constexpr unsigned char kPageRejected = '@';
constexpr unsigned char kErased = 0xFF;  // what flash holds where the image has no byte
constexpr int kPageTickLimit = 5;
constexpr int kRestartTicks = 30;  // the unit restarts its firmware after the end word

const char* const kFlashingComplete = "Flashing complete. Awaiting soft reboot ...";
const char* const kNeedsRescue = "the unit needs a Rescue re-flash";
}  // namespace

const UnitType* findUnitType(std::string_view id) {
    for (const UnitType& type : kUnitTypes) {
        if (type.id == id) return &type;
    }
    return nullptr;
}

bool FlashSequence::lookupUnitType(const std::string& id) {
    const UnitType* type = findUnitType(id);
    if (!type) return false;
    PageSize = type->pageSize;
    PageCount = type->pageCount;
    EESize = type->eeSize;
    EndWord = type->endWord;
    EESizeKnown = true;
    counts_.unitType = id;
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
    link_.sendRaw(kFrameStart);
    link_.sendRaw(static_cast<unsigned char>(page & 0xFF));
    unsigned sum = 0;
    const int base = page * PageSize;
    for (int i = 0; i < PageSize; ++i) {
        const std::uint8_t byte = flashByte(base + i);
        link_.sendRaw(byte);
        sum += byte;
    }
    link_.sendRaw(static_cast<unsigned char>(sum & 0xFF));
    const unsigned char answer = link_.GetRawByte();
    if (answer == kPageTaken) {
        face_.logAppend("!=");
        return true;
    }
    if (answer == kPageRejected) {
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
    link_.sendRaw(kOpenExchange);
    link_.GetRawByte();  // the bootloader's reply to "<" carries nothing
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
    link_.sendRaw(static_cast<unsigned char>((EndWord >> 8) & 0xFF));
    link_.sendRaw(static_cast<unsigned char>(EndWord & 0xFF));
    face_.scrollText(std::string("\r\n") + kFlashingComplete + "\r\n");
    msgStatus(face_, kFlashingComplete);
    report(Phase::Restart, 0, kRestartTicks);
    link_.DelayTicks(kRestartTicks);
}

}  // namespace ondo
