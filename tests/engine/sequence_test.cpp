// SPDX-License-Identifier: GPL-3.0-or-later
// The whole update as the engine runs it (the sequence, the link and its tick clock) against the
// in-memory unit, in no real time: the bytes on the wire, every way a run ends, and the EEPROM.

#include "flash/sequence.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>
#include <utility>

#include "engine/engine.h"
#include "link/link.h"
#include "support/fake_serial.h"
#include "support/recording_face.h"
#include "support/scripted_unit.h"

namespace ondo::testing {
namespace {

const std::string kEntry = "tf\rm0\rv\rb0023\r";
const std::string kRescueText =
    "Switch OFF the unit & take the cover OFF.\r\rRefer to documentation for the Rescue Re-flash "
    "Jumper's location.\rPlace a temporary link across that jumper.\rPress OK just before you "
    "switch the power back ON.";

// The real link and sequence over the in-memory serial library; the face plays the window's
// close rule (always an abort request, refused while Flashing).
class Bench : public ::testing::Test {
  protected:
    Bench() {
        clock.serial = &serial;
        clock.onTick = [this] { link.Timer1_Timer(); };
        clock.beforeTick = [this](int tick) {
            if (tick > 200000) throw std::runtime_error("the run never ends");
            if (atTick) atTick(tick);
        };
        face.onClose = [this] {
            link.AbortRequested = true;
            ++(seq.Flashing ? closesRefused : closesGranted);
        };
        serial.SioReset(0, 8192, 256);
        link.PortOpen = true;
        link.PortName = "COM1";
        for (int i = 0; i < kFlashImageSize; ++i) image.FlashImage[i] = (i * 7 + 3) & 0xFF;
        for (int i = 0; i < kEEImageSize; ++i) image.EEimage[i] = (i * 13 + 5) & 0xFF;
        image.FlashFileValid = true;
        std::ofstream(file) << ":00000001FF\n";
        face.file = file.string();
        serial.sent.clear();
        serial.calls.clear();
        seq.EESizeKnown = true;  // as after an identification; one row runs without
    }
    ~Bench() override { std::filesystem::remove(file); }

  public:
    void run() { seq.btnFlashStart_Click(); }
    std::string frame(int page, int size) const {
        std::string data;
        for (int i = page * size; i < (page + 1) * size; ++i)
            data += static_cast<char>(image.FlashImage[i]);
        const unsigned sum = std::accumulate(data.begin(), data.end(), 0u,
                                             [](unsigned s, char c) { return s + (c & 0xFF); });
        return std::string{'\0', static_cast<char>(page)} + data + static_cast<char>(sum & 0xFF);
    }
    std::vector<std::string> eventsFrom(const std::string& from) const {
        return {std::find(unit.events.begin(), unit.events.end(), from), unit.events.end()};
    }
    // How often the unit saw an event ("m0", "page 7"; "e0012*" counts by prefix) or, with a
    // leading "~", how often a status line was shown.
    int count(const std::string& what) const {
        if (what[0] == '~') return face.statusCount(what.substr(1));
        if (what.back() != '*') return unit.commandCount(what);
        return static_cast<int>(std::count_if(unit.events.begin(), unit.events.end(), [&](auto& e) {
            return e.rfind(what.substr(0, what.size() - 1), 0) == 0;
        }));
    }

    FakeSerial serial;
    TickPerYield clock;
    RecordingFace face;
    Engine engine{serial, clock, face};
    Link& link = engine.link();
    FirmwareImage& image = engine.image();
    FlashSequence& seq = engine.sequence();
    ScriptedUnit unit{serial, clock};
    std::filesystem::path file = std::filesystem::temp_directory_path() /
                                 ("ondo-bench-" + std::to_string(::getpid()) + ".HXF");
    int closesRefused = 0, closesGranted = 0;
    std::function<void(int)> atTick;
};

// Where two byte strings first differ, readably; empty when they are equal.
std::string firstDifference(const std::string& sent, const std::string& expected) {
    const auto at = std::mismatch(sent.begin(), sent.end(), expected.begin(), expected.end());
    if (at.first == sent.end() && at.second == expected.end()) return {};
    return "byte " + std::to_string(at.first - sent.begin()) + " of " +
           std::to_string(sent.size()) + " (expected " + std::to_string(expected.size()) + ")";
}

// A whole update of an AlaR on the wire, after the given entry (empty for the rescue entry).
std::string updateWire(const Bench& b, const std::string& entry) {
    std::string wire = entry + "<";
    for (int page = 0; page < 124; ++page) wire += b.frame(page, 64);
    wire += "\x03\xFFtf\rtf\rv\rm0\r";
    for (int a = 0; a < 512; ++a) wire += "e" + hex4(a) + hex2(b.image.EEimage[a]) + "\r";
    for (int a = 0; a < 512; ++a) wire += "a" + hex4(a) + "\r";
    return wire + "m1\rt1\rv\r";
}

TEST_F(Bench, WholeUpdateByteForByteAndWhatItShows) {
    unit.version = "0024";
    std::string midRun;
    unit.pageAnswer = [&](int page, int) {
        if (page == 3)
            midRun = face.startCaption + (face.startEnabled ? " on" : " off") +
                     (face.abortEnabled ? " abort" : "") + (seq.Flashing ? " flashing" : "");
        return '!';
    };
    run();
    EXPECT_EQ(firstDifference(serial.sent, updateWire(*this, "tf\rm0\rv\rb0024\r")), "");
    EXPECT_EQ(serial.calls, std::vector<std::string>{"SioRxClear(0)"}) << "just before the b";
    EXPECT_EQ(midRun, "Wait off abort flashing");
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::Complete);
    EXPECT_TRUE(std::equal(unit.eeprom.begin(), unit.eeprom.begin() + 512, image.EEimage.begin()));
    EXPECT_EQ(unit.eeprom[512], 0xFF);
    EXPECT_EQ(face.statusCount("Programming 124 pages. 64 bytes/page."), 1);
    std::string pages = "=", eeLog = "Programming 512 bytes of EE Prom.\r\n";
    for (int page = 0; page < 124; ++page) pages += "!=" + std::to_string(page) + "=";
    for (int a = 0; a < 512; ++a) eeLog += hex4(a) + (a % 8 == 0 ? "\r\n" : "-");
    eeLog += "\r\nEEPROM verifying\r\n";
    for (int a = 0; a < 512; ++a) eeLog += hex4(image.EEimage[a]) + (a % 8 == 0 ? "\r\n" : "+");
    ASSERT_EQ(face.logs.size(), 3u);
    EXPECT_EQ(face.logs[1], pages + "\r\nFlashing complete. Awaiting soft reboot ...\r\n");
    EXPECT_EQ(face.logs[2], eeLog + "\r\nProgramming complete.");
}

// Sets a row up from words: what the unit, the face and the image are like, and what happens
// during the run (a button pressed, a close asked, the unit going quiet or away).
void arrange(Bench& b, const std::string& words) {
    std::istringstream in(words);
    for (std::string w; in >> w;) {
        const auto eq = w.find('=');
        const std::string k = w.substr(0, eq), v = eq == std::string::npos ? "" : w.substr(eq + 1);
        const int n = std::isdigit(static_cast<unsigned char>(v[0])) ? std::stoi(v) : -1;
        const char at = v.empty() || v.back() == '_' ? 0 : v.back();  // "page=P:X": X to page P
        if (k == "no-image") b.image.FlashFileValid = false;
        if (k == "port-closed") b.link.PortOpen = false;
        if (k == "silent") b.unit.silent = true;
        if (k == "version") b.unit.version = v;
        if (k == "no-file") std::filesystem::remove(b.file);
        if (k == "rescue") b.face.options[Option::Rescue] = true;
        if (k == "flash-only") b.face.options[Option::FlashOnly] = true;
        if (k == "ee-only") b.face.options[Option::EEOnly] = true;
        if (k == "no-prompt") b.face.options[Option::PromptOnComplete] = false;
        if (k == "size-unknown") b.seq.EESizeKnown = false;
        if (k == "retries") b.seq.ProgRetries = n;
        if (k == "stale-abort") b.link.AbortRequested = true;
        if (k == "boot-silent") b.unit.bootloaderSilent = true;
        if (k == "junk") b.unit.beforePrompt = std::string(n, 'x');
        if (k == "prompt") b.unit.beforePrompt = v;
        if (k == "lower-confirm") b.unit.lowerCaseConfirm = true;
        if (k == "answers")  // the boxes' answers in turn: O(k) or C(ancel)
            for (char c : v) b.face.answers.push_back(c == 'C' ? Answer::Cancel : Answer::Ok);
        if (k == "read") {  // "read=AAAA:VVVV": the image holds 05 there, the unit reports VVVV
            const int address = std::stoi(v.substr(0, 4), nullptr, 16);
            b.image.EEimage[address] = 0x05;
            b.unit.readOverride[address] = std::stoi(v.substr(5), nullptr, 16);
        }
        if (k ==
            "power-up") {  // the unit powers up in its bootloader as the rescue box is answered
            b.face.onAsk = [&b, n](const MessageBox& box) {
                if (box.buttons != Buttons::OkCancel) return;
                EXPECT_TRUE(b.serial.sent.empty()) << "nothing goes out before the rescue box";
                if (n >= 0) b.seq.ProgRetries = n;
                b.unit.powerUpInBootloader();
            };
        }
        if (k == "page" || k == "page-once" || k == "page-even" || k == "late") {
            const std::string late = v.substr(v.find(':') + 1);
            b.unit.pageAnswer = [&b, k, n, at, late](int page, int attempt) -> unsigned char {
                if (k ==
                    "late") {  // "late=P:BYTES" after page P's first answer; P + 1 refused once
                    if (page == n && attempt == 0) b.serial.deliver(late);
                    return page == n + 1 && attempt == 0 ? '@' : '!';
                }
                const bool hit = page == n && (k == "page" || (k == "page-once" && attempt == 0) ||
                                               (k == "page-even" && attempt % 2 == 0));
                return hit ? at : '!';
            };
        }
        if (k == "abort-when-able")
            b.atTick = [&b, done = false](int) mutable {
                if (!done && b.face.abortEnabled) done = true, b.seq.btnAbort_Click();
            };
        if (k == "abort-in-frame")  // "abort-in-frame=P": Abort as page P's tenth byte goes out
            b.serial.onSend = [&b, n, unitTakes = b.serial.onSend](unsigned char byte) {
                unitTakes(byte);
                if (b.serial.sent.size() == kEntry.size() + 1 + 67 * n + 10) b.seq.btnAbort_Click();
            };
        if (k == "close-after-frames") {
            b.unit.answerDelay = 1;
            b.atTick = [&b, n, done = false](int) mutable {
                if (done || b.unit.frames.size() != static_cast<std::size_t>(n)) return;
                done = true;
                b.face.requestClose();
            };
        }
        if (k == "abort-at-restart" || k == "silent-at-restart")
            b.atTick = [&b, k, done = false](int) mutable {
                if (b.unit.restarts != 1 || std::exchange(done, true)) return;
                k[0] == 'a' ? b.seq.btnAbort_Click() : void(b.unit.silent = true);
            };
        if (k == "vanish-at" || k == "silent-from" || k == "stray-after-restart")
            b.unit.onCommand = [&b, k, v, seen = false](const std::string& c) mutable {
                const bool match = !v.empty() && c.rfind(v, 0) == 0;
                if (k == "vanish-at" && match) b.serial.lineLost = true;
                if (k == "silent-from" && match) b.unit.silent = true;
                if (k == "stray-after-restart" && c == "tf" && b.unit.restarts == 1 && !seen)
                    seen = true, b.serial.deliver("\nD 14.70 0.998 0812\r\n");
            };
    }
}

// One way a run goes: how it is set up (see arrange), how it ends, what it says last (%f: the
// file box), the bytes on the wire ("*": any), the boxes it shows (texts, "|" between; "" for
// none), what it counted ("key=n;...": a unit event such as "m0" or "page 7", a prefix "e0012*",
// "~" and a status line, "retries", "refused" and "granted" closes), and more.
struct End {
    const char* name;
    const char* setup;
    RunOutcome outcome;
    std::string status = "*";
    std::string sent = "*";
    const char* boxes = nullptr;
    const char* counts = "";
    std::function<void(Bench&)> more = nullptr;
};

void PrintTo(const End& e, std::ostream* out) {
    *out << e.name;
}

class Ends : public Bench, public ::testing::WithParamInterface<End> {};

auto endsWith(std::vector<std::string> last) {
    return [=](Bench& b) { EXPECT_EQ(b.eventsFrom(last.front()), last); };
}
// A stop in the page loop: four pages went out and `bytes` of the fifth, then nothing at all.
auto fourPagesThenStop(std::size_t bytes = 0) {
    return [bytes](Bench& b) {
        std::string wire = kEntry + "<";
        for (int page = 0; page < 4; ++page) wire += b.frame(page, 64);
        EXPECT_EQ(firstDifference(b.serial.sent, wire + b.frame(4, 64).substr(0, bytes)), "");
    };
}
// The user presses Start again in the same session once the unit's faults are gone: every flag
// and count of the first run must be gone too. A unit that the first run left in its bootloader
// is reached by the rescue entry, as its owner would have to.
bool startAgain(Bench& b) {
    const bool rescue = b.unit.inBootloader();
    b.unit.silent = b.unit.bootloaderSilent = b.unit.lowerCaseConfirm = false;
    b.unit.pageAnswer = nullptr;
    b.unit.onCommand = nullptr;
    b.unit.answerDelay = 0;
    b.unit.beforePrompt.clear();
    b.unit.readOverride.clear();
    b.unit.events.clear();
    b.atTick = nullptr;
    b.face.answers.clear();
    b.face.boxes.clear();
    b.face.options[Option::Rescue] = rescue;
    b.face.onAsk = [&b](const MessageBox& box) {
        if (box.buttons == Buttons::OkCancel) b.unit.powerUpInBootloader();
    };
    b.serial.sent.clear();
    return rescue;
}
const char* const kComplete = "Flash and EEPROM Programming complete (0 retries).";
const char* const kTooOld = "You must select the Rescue option\rfor Rev 0022 or lower firmware.";
const char* const kAborted = "Flashing aborted - the unit needs a Rescue re-flash";
const char* const kLost = "Lost contact with the unit on COM1";
const char* const kIncomplete = "EEPROM update incomplete.";
const char* const kNoBoot = "No answer from the bootloader";
const char* const kDone = "Complete.";
const std::string kRescueBoxes = kRescueText + "|" + kComplete;
const std::string kGiveUp = " - giving up; the unit needs a Rescue re-flash";
const std::vector<std::string> kRestartAfterTheEeprom{"m1", "t1", "v"};
using R = RunOutcome;

const End kEnds[] = {
    {"NoImage", "no-image", R::NoImage, "Must read a valid flash file first", "", ""},
    {"PortClosed", "port-closed", R::PortClosed, "COM port must be opened first", "", ""},
    {"SilentUnit", "silent", R::NoComms, "*", "tf\rm0\rv\r",
     "No Comms? Check for correct COM Port and wiring, etc."},
    {"Version0022NeedsRescue", "version=0022", R::NeedsRescue, "*", "tf\rm0\rv\r", kTooOld},
    {"FileRemovedAfterReading", "no-file", R::NoFile, "No File %f", "tf\rm0\rv\r", ""},
    {"RescueStillChecksTheFile", "rescue no-file", R::NoFile, "No File %f", "", ""},
    {"RescueCancelled", "rescue answers=C", R::Cancelled, "*", "", kRescueText.c_str()},
    // retries count from the first page, not from Start
    {"RescueOk", "rescue flash-only power-up=9", R::Complete, kDone, "*", kRescueBoxes.c_str(),
     "<=1;b0023=0;page 123=1;retries=0"},
    {"NoIdentification", "boot-silent", R::NoBootloader, kNoBoot, kEntry, "",
     "refused=0;granted=0"},
    // the echo of "b0023" and its reply are 17 reads
    {"PromptAsTheHundredthReadIsTaken", "junk=82 flash-only", R::Complete, kDone},
    {"PromptAfterAHundredReadsIsTooLate", "junk=83", R::NoBootloader, kNoBoot, kEntry},
    {"WrongIdentificationsAreReported", "prompt=>alaR>XobZ", R::Complete, kDone, "*", kComplete,
     "~Invalid response >alaR=1;~Invalid response >XobZ=1;page 123=1"},
    // Flashing is still set: the window stays open
    {"AbortAwaitingTheBootloader", "boot-silent abort-when-able", R::Aborted,
     "Aborted while waiting for the bootloader", kEntry, "", "refused=1;granted=0"},
    {"CloseInThePageLoop", "close-after-frames=4", R::Aborted, kAborted, "*", "",
     "end 03FF=0;refused=1;granted=0", fourPagesThenStop()},
    // not the frame's last bytes: nothing goes out once an abort is asked for
    {"AbortInTheMiddleOfAFrame", "abort-in-frame=4", R::Aborted, kAborted, "*", "", "end 03FF=0",
     fourPagesThenStop(10)},
    {"AbortInTheRestartWaitStopsNothingClosesNothing", "abort-at-restart", R::Complete, kDone, "*",
     kComplete, "a01FF=1;refused=0;granted=0"},
    {"UnitVanishesInTheEepromUpdate", "vanish-at=e0020", R::LineLost, kLost, "*", "",
     "e0020*=1;e0021*=0"},
    {"PageThatKeepsFailingGetsThirtyAttempts", "page=7:#", R::PageFailed,
     "Programming failed on page 7" + kGiveUp, "*", "", "page 7=30;page 8=0;end 03FF=0;retries=30"},
    {"PageAlwaysRejectedGetsThirtyAttempts", "page=3:@", R::PageFailed,
     "Programming failed on page 3" + kGiveUp, "*", "",
     "page 3=30;~Programming failed on page 3=30"},
    // three series end well, a fourth first fails
    {"PageFailingEveryOtherTimeCannotLoopForever", "page-even=2:#", R::PageFailed, "*", "*",
     nullptr, "page 2=7"},
    {"Page0GarbledOnceIsSentThreeTimes", "page-once=0:Z flash-only", R::Complete, kDone, "*",
     "Flash and EEPROM Programming complete (1 retries).", "page 0=3;page 1=1;retries=1"},
    {"Page9UnansweredOnceIsSentAgainAfterTheShortTimeOut", "page-once=9:_ flash-only", R::Complete,
     kDone, "*", "Flash and EEPROM Programming complete (1 retries).", "page 9=3;retries=1",
     [](Bench& b) {
         EXPECT_NE(b.face.logs[1].find("=8=??"
                                       "?!=!=9="),
                   std::string::npos);
     }},
    {"LateBytesAreAllDropped", "late=10:!!@", R::Complete, kDone, "*", kComplete,
     "page 11=3;page 12=1;~Programming failed on page 11=1"},
    {"StaleAbortAndRetriesAreClearedAtStart", "stale-abort retries=7 ee-only", R::Complete, kDone,
     "*", kComplete, "a01FF=1;retries=0;refused=0;granted=0"},
    {"StrayReadingAfterTheRestartPutsNoReplyOutOfStep", "stray-after-restart", R::Complete, kDone,
     "*", kComplete, "~Data from unit =  0023\r\n=1"},
    {"SilentAfterTheRestart", "silent-at-restart", R::NoRestart,
     "No answer from the unit after the restart", "*", "", "m0=1"},
    {"FlashOnlySkipsTheEeprom", "flash-only", R::Complete, kDone, "*", kComplete, "m0=1",
     endsWith({"end 03FF", "tf", "tf", "v", "m1", "t1", "v"})},
    {"EEOnlyWithoutIdentificationNeverTouchesTheBootloaderAndSaysWhatItAssumed",
     "ee-only size-unknown", R::EepromSizeAssumed,
     "EEPROM size not known: 512 bytes updated; a larger EEPROM was updated only in part.", "*",
     nullptr, "b0023=0;<=0;a01FF=1;e0200*=0"},
    {"LowerCaseConfirmationThenCancelStopsTheUpdate", "lower-confirm answers=C",
     R::EepromIncomplete, kIncomplete, "*",
     "addr = 000A, response = 000a|"
     "Flash programmed, but the EEPROM update is incomplete (5 retries).",
     "e0009*=1;a0009=0;e000A*=5;e000B*=0;~re-programmed address 000A.=5;retries=5",
     [](Bench& b) {
         EXPECT_EQ(b.face.logs.back().find("EEPROM verifying"), std::string::npos);
         EXPECT_TRUE(b.face.logs.back().ends_with("\r\nEEPROM update incomplete."));
         endsWith(kRestartAfterTheEeprom)(b);
     }},
    {"WrongReadBackIsReadAgainNotWrittenAgain", "ee-only read=0012:0007", R::EepromIncomplete,
     kIncomplete, "*",
     "addr = 0012, wrote = 0005, read = 0007|The EEPROM update is incomplete (5 retries).",
     "e0012*=1;a0012=5;~re-verified address 0012.=5;a0013=1"},
    {"CancelInTheVerifyBoxStopsAtOnce", "ee-only read=0012:0100 answers=C", R::EepromIncomplete,
     kIncomplete, "*",
     "addr = 0012, wrote = 0005, read = 0100|The EEPROM update is incomplete (5 retries).",
     "e0013*=1;a0013=0", endsWith(kRestartAfterTheEeprom)},
    {"SilentFirmwareFailsEveryAddress", "ee-only silent-from=e answers=OOOC", R::EepromIncomplete,
     kIncomplete, "*",
     "addr = 0000, response = |addr = 0001, response = |addr = 0002, response = |"
     "addr = 0003, response = |The EEPROM update is incomplete (20 retries).",
     "e0003*=5;e0004*=0"},
    // 2,679 characters before the read-back's marks; the mark of 0115 finds 4,099, keeps 1,028
    {"LogCutBeforeTheAppendThatFindsItOverItsLimit", "ee-only", R::Complete, kDone, "*", kComplete,
     "",
     [](Bench& b) {
         EXPECT_EQ(b.face.longestLog, 4099u);
         EXPECT_EQ(b.face.log, b.face.logs.back().substr(3071));
     }},
    // Start pressed again after a first run that ended otherwise: the second runs as a first
    {"AgainAfterAnAbortInThePages", "close-after-frames=4 again", R::Complete, kDone, "*",
     kRescueBoxes.c_str(), "refused=1;granted=0"},
    {"AgainAfterAPageThatKeptFailing", "page=7:# again", R::Complete, kDone, "*",
     kRescueBoxes.c_str()},
    {"AgainAfterAnAbortAwaitingTheBootloader", "boot-silent abort-when-able again", R::Complete,
     kDone, "*", kRescueBoxes.c_str()},
    {"AgainAfterOkThenCancelInTheEepromUpdate", "lower-confirm answers=OC again", R::Complete,
     kDone, "*", kComplete},
};

TEST_P(Ends, AsTheRowSays) {
    const End& e = GetParam();
    arrange(*this, e.setup);
    run();
    if (std::string(e.setup).ends_with("again")) {
        const bool rescue = startAgain(*this);
        run();
        EXPECT_EQ(firstDifference(serial.sent, updateWire(*this, rescue ? "" : kEntry)), "");
        const UpdateReport r = seq.updateReport();
        EXPECT_EQ(std::to_string(r.pagesSent) + " " + std::to_string(r.framesResent) + " " +
                      std::to_string(r.eeWritten) + " " + std::to_string(r.eeVerified) + " " +
                      std::to_string(r.retries) + " " + std::to_string(seq.ProgRetries),
                  "124 0 512 512 0 0");
    }
    EXPECT_EQ(seq.lastOutcome(), e.outcome);
    if (e.status != "*") {
        std::string status = e.status;
        if (const auto at = status.find("%f"); at != std::string::npos)
            status.replace(at, 2, face.file);
        EXPECT_EQ(face.lastStatus().text, status);
        EXPECT_EQ(face.lastStatus().colour,
                  e.outcome == RunOutcome::Complete ? Colour::Status : Colour::Error);
    }
    if (e.sent != "*") {
        EXPECT_EQ(firstDifference(serial.sent, e.sent), "") << serial.sent;
    }
    if (e.boxes) {
        std::string texts;
        for (const auto& box : face.boxes) texts += (texts.empty() ? "" : "|") + box.text;
        EXPECT_EQ(texts, e.boxes);
    }
    std::istringstream counts(e.counts);
    for (std::string item; std::getline(counts, item, ';');) {
        const std::string what = item.substr(0, item.rfind('='));
        const int n = std::stoi(item.substr(item.rfind('=') + 1));
        EXPECT_EQ(what == "retries"   ? seq.ProgRetries
                  : what == "refused" ? closesRefused
                  : what == "granted" ? closesGranted
                                      : count(what),
                  n)
            << what;
    }
    if (unit.restarts > 0 && !face.option(Option::EEOnly)) {  // the pages the unit holds
        EXPECT_TRUE(std::equal(image.FlashImage.begin(), image.FlashImage.begin() + 124 * 64,
                               unit.flash.begin()));
    }
    EXPECT_TRUE(face.startCaption == "Start" && face.startEnabled && !face.abortEnabled &&
                !seq.Flashing && !seq.running())
        << "at rest";
    if (e.more) e.more(*this);
}

INSTANTIATE_TEST_SUITE_P(Sequence, Ends, ::testing::ValuesIn(kEnds),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ondo::testing
