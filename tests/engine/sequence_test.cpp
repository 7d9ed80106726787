// The whole update as the engine runs it (the sequence, the link and its tick clock) against the
// in-memory unit, in no real time: the bytes on the wire, every way a run ends, and the EEPROM.

#include "flash/sequence.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <numeric>

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
            data += static_cast<char>(i < kFlashImageSize ? image.FlashImage[i] : 0xFF);
        const unsigned sum = std::accumulate(data.begin(), data.end(), 0u,
                                             [](unsigned s, char c) { return s + (c & 0xFF); });
        return std::string{'\0', static_cast<char>(page)} + data + static_cast<char>(sum & 0xFF);
    }
    std::vector<std::string> eventsFrom(const std::string& from) const {
        auto it = std::find(unit.events.begin(), unit.events.end(), from);
        return {it, unit.events.end()};
    }
    // The EEPROM commands for one address ("e" and "a"), in order.
    std::vector<std::string> commandsFor(const std::string& address) const {
        std::vector<std::string> out;
        for (const auto& e : unit.events)
            if (e.size() >= 5 && (e[0] == 'e' || e[0] == 'a') && e.substr(1, 4) == address)
                out.push_back(e);
        return out;
    }
    bool atRest() const {
        return face.startCaption == "Start" && face.startEnabled && !face.abortEnabled &&
               !seq.Flashing && !seq.running();
    }
    void closeOnce(const std::function<bool()>& when) {
        atTick = [this, when, done = false](int) mutable {
            if (!done && when()) {
                done = true;
                face.requestClose();
            }
        };
    }

    FakeSerial serial;
    TickPerYield clock;
    RecordingFace face;
    Link link{serial, face, clock};
    FirmwareImage image;
    FlashSequence seq{link, image, face};
    ScriptedUnit unit{serial, clock};
    std::filesystem::path file = std::filesystem::temp_directory_path() /
                                 ("ondo-bench-" + std::to_string(::getpid()) + ".HXF");
    int closesRefused = 0, closesGranted = 0;
    std::function<void(int)> atTick;
    std::string notes;  // what a row's hooks saw
};

// Where two byte strings first differ, readably; empty when they are equal.
std::string firstDifference(const std::string& sent, const std::string& expected) {
    const auto at = std::mismatch(sent.begin(), sent.end(), expected.begin(), expected.end());
    if (at.first == sent.end() && at.second == expected.end()) return {};
    return "byte " + std::to_string(at.first - sent.begin()) + " of " +
           std::to_string(sent.size()) + " (expected " + std::to_string(expected.size()) + ")";
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
    std::string wire = "tf\rm0\rv\rb0024\r<";
    for (int page = 0; page < 124; ++page) wire += frame(page, 64);
    wire +=
        "\x03\xFF"
        "tf\rtf\rv\rm0\r";
    for (int a = 0; a < 512; ++a) wire += "e" + hex4(a) + hex2(image.EEimage[a]) + "\r";
    for (int a = 0; a < 512; ++a) wire += "a" + hex4(a) + "\r";
    wire += "m1\rt1\rv\r";
    EXPECT_EQ(firstDifference(serial.sent, wire), "");
    EXPECT_EQ(serial.calls, std::vector<std::string>{"SioRxClear(0)"}) << "just before the b";
    EXPECT_EQ(midRun, "Wait off abort flashing");
    EXPECT_TRUE(atRest());
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::Complete);
    for (int a = 0; a < 124 * 64; ++a) ASSERT_EQ(unit.flash[a], image.FlashImage[a]) << a;
    for (int a = 0; a < 512; ++a) ASSERT_EQ(unit.eeprom[a], image.EEimage[a]) << a;
    EXPECT_EQ(unit.eeprom[512], 0xFF);
    EXPECT_EQ(unit.restarts, 1);
    std::vector<std::pair<Colour, std::string>> seen,
        shown{{Colour::Plain, "Programming 124 pages. 64 bytes/page."},
              {Colour::Status, "Flashing complete. Awaiting soft reboot ..."},
              {Colour::Status, "Data from unit =  0024\r\n"},
              {Colour::Plain, "Programming ..."},
              {Colour::Plain, "Verifying ..."},
              {Colour::Status, "Complete."}};
    for (const auto& s : face.statuses) seen.emplace_back(s.colour, s.text);
    EXPECT_EQ(seen, shown);
    ASSERT_EQ(face.boxes.size(), 1u);
    EXPECT_EQ(face.boxes[0].text, "Flash and EEPROM Programming complete (0 retries).");
    EXPECT_EQ(face.boxes[0].title, "Programming complete");
    EXPECT_EQ(face.boxes[0].icon, Icon::Information);
    std::string pages = "=", eeLog = "Programming 512 bytes of EE Prom.\r\n";
    for (int page = 0; page < 124; ++page) pages += "!=" + std::to_string(page) + "=";
    for (int a = 0; a < 512; ++a) eeLog += hex4(a) + (a % 8 == 0 ? "\r\n" : "-");
    eeLog += "\r\nEEPROM verifying\r\n";
    for (int a = 0; a < 512; ++a) eeLog += hex4(image.EEimage[a]) + (a % 8 == 0 ? "\r\n" : "+");
    ASSERT_EQ(face.logs.size(), 3u);
    EXPECT_EQ(face.logs[1], pages + "\r\nFlashing complete. Awaiting soft reboot ...\r\n");
    EXPECT_EQ(face.logs[2], eeLog + "\r\nProgramming complete.");
    int lastPage = -1, writes = 0, verifies = 0;
    Phase phase = Phase::Checking;
    for (const auto& p : face.progresses) {
        EXPECT_GE(p.phase, phase) << "phases go forward";
        phase = p.phase;
        if (p.phase == Phase::Pages) {
            EXPECT_EQ(p.total, 124);
            lastPage = p.done;
        }
        writes += p.phase == Phase::EepromWrite;
        verifies += p.phase == Phase::EepromVerify;
    }
    EXPECT_EQ(lastPage, 124);
    EXPECT_GE(writes, 512);
    EXPECT_GE(verifies, 512);
    EXPECT_EQ(face.progresses.back().phase, Phase::Done);
}

// One way a run goes: what is set up, how it ends, what it says last (%f: the file box), the
// bytes on the wire (exactly), the boxes it shows (texts, "|" between; "" for none), and more.
struct End {
    const char* name;
    std::function<void(Bench&)> setup;
    RunOutcome outcome;
    const char* status = nullptr;
    const char* sent = nullptr;
    const char* boxes = nullptr;
    std::function<void(Bench&)> more = nullptr;
};

void PrintTo(const End& e, std::ostream* out) {
    *out << e.name;
}

class Ends : public Bench, public ::testing::WithParamInterface<End> {};

auto option(Option which) {
    return [which](Bench& b) { b.face.options[which] = true; };
}
auto pages(std::function<unsigned char(int, int)> answer, bool flashOnly = false) {
    return [=](Bench& b) {
        b.unit.pageAnswer = answer;
        b.face.options[Option::FlashOnly] = flashOnly;
    };
}
auto rescueWithPowerUp(Bench& b) {
    b.face.options[Option::Rescue] = true;
    b.face.onAsk = [&b](const MessageBox& box) {
        if (box.buttons == Buttons::OkCancel) b.unit.powerUpInBootloader();
    };
}
auto stopAfterFrames(std::size_t frames, bool abort) {
    return [=](Bench& b) {
        b.unit.answerDelay = 1;
        b.atTick = [&b, frames, abort, done = false](int) mutable {
            if (done || b.unit.frames.size() != frames) return;
            done = true;
            abort ? b.seq.btnAbort_Click() : b.face.requestClose();
        };
    };
}
void abortedBeforeTheNextFrame(Bench& b) {
    std::string wire = kEntry + "<";
    for (int page = 0; page < 4; ++page) wire += b.frame(page, 64);
    EXPECT_EQ(firstDifference(b.serial.sent, wire), "");
    EXPECT_EQ(b.unit.restarts, 0);
    EXPECT_FALSE(b.face.sawStatus("Flashing complete. Awaiting soft reboot ..."));
    EXPECT_EQ(b.face.log.find("complete"), std::string::npos);
}
const char* const kComplete = "Flash and EEPROM Programming complete (0 retries).";
const std::string kRescueBoxes = kRescueText + "|" + kComplete;
const char* const kGiveUp7 =
    "Programming failed on page 7 - giving up; the unit needs a Rescue re-flash";

const End kEnds[] = {
    {"NoImage", [](Bench& b) { b.image.FlashFileValid = false; }, RunOutcome::NoImage,
     "Must read a valid flash file first", "", ""},
    {"PortClosed", [](Bench& b) { b.link.PortOpen = false; }, RunOutcome::PortClosed,
     "COM port must be opened first", "", ""},
    {"SilentUnit", [](Bench& b) { b.unit.silent = true; }, RunOutcome::NoComms, nullptr,
     "tf\rm0\rv\r", "No Comms? Check for correct COM Port and wiring, etc.",
     [](Bench& b) {
         EXPECT_EQ(b.face.versionLabel, "ROM ----");
         EXPECT_EQ(b.face.boxes[0].title, "Upgrade Requires Intervention");
         EXPECT_EQ(b.face.boxes[0].icon, Icon::Exclamation);
     }},
    {"Version0022NeedsRescue", [](Bench& b) { b.unit.version = "0022"; }, RunOutcome::NeedsRescue,
     nullptr, "tf\rm0\rv\r", "You must select the Rescue option\rfor Rev 0022 or lower firmware.",
     [](Bench& b) {
         EXPECT_EQ(b.face.boxes[0].title, "Upgrade Requires Intervention");
         EXPECT_EQ(b.face.boxes[0].buttons, Buttons::Ok);
         EXPECT_EQ(b.face.boxes[0].icon, Icon::Information);
     }},
    {"LowerCaseVersionNeedsRescue", [](Bench& b) { b.unit.version = "002a"; },
     RunOutcome::NeedsRescue, nullptr, "tf\rm0\rv\r",
     "You must select the Rescue option\rfor Rev 0022 or lower firmware.",
     [](Bench& b) { EXPECT_EQ(b.face.versionLabel, "ROM 002a"); }},
    {"FileRemovedAfterReading", [](Bench& b) { std::filesystem::remove(b.file); },
     RunOutcome::NoFile, "No File %f", "tf\rm0\rv\r", ""},
    {"EmptyFileName", [](Bench& b) { b.face.file = ""; }, RunOutcome::NoFile, "No File %f"},
    {"FolderAsFile", [](Bench& b) { b.face.file = b.file.parent_path().string(); },
     RunOutcome::NoFile, "No File %f", "tf\rm0\rv\r"},
    {"RescueStillChecksTheFile",
     [](Bench& b) {
         b.face.options[Option::Rescue] = true;
         std::filesystem::remove(b.file);
     },
     RunOutcome::NoFile, "No File %f", "", ""},
    {"RescueCancelled",
     [](Bench& b) {
         b.face.options[Option::Rescue] = true;
         b.face.answers.push_back(Answer::Cancel);
     },
     RunOutcome::Cancelled, nullptr, "", kRescueText.c_str(),
     [](Bench& b) { EXPECT_TRUE(b.face.statuses.empty()); }},
    {"RescueOk",
     [](Bench& b) {
         rescueWithPowerUp(b);
         b.face.onAsk = [&b](const MessageBox& box) {
             if (box.buttons != Buttons::OkCancel) return;
             EXPECT_TRUE(b.serial.sent.empty()) << "nothing goes out before the rescue box";
             b.unit.powerUpInBootloader();
         };
     },
     RunOutcome::Complete, "Complete.", nullptr, kRescueBoxes.c_str(),
     [](Bench& b) {
         EXPECT_EQ(b.serial.sent[0], '<');
         EXPECT_EQ(b.face.boxes[0].title, "Rescue Requires a Temorary Jumper");
         EXPECT_EQ(b.face.boxes[0].buttons, Buttons::OkCancel);
         EXPECT_EQ(b.face.boxes[0].icon, Icon::Exclamation);
         EXPECT_EQ(b.unit.frameCount.size(), 124u);
     }},
    {"NoIdentification", [](Bench& b) { b.unit.bootloaderSilent = true; }, RunOutcome::NoBootloader,
     "No answer from the bootloader", kEntry.c_str(), "",
     [](Bench& b) { EXPECT_EQ(b.face.closeRequests, 0); }},
    {"PromptAsTheHundredthReadIsTaken",  // the echo of "b0023" and its reply are 17 reads
     [](Bench& b) {
         b.unit.beforePrompt = std::string(82, 'x');
         b.face.options[Option::FlashOnly] = true;
     },
     RunOutcome::Complete, "Complete."},
    {"PromptAfterAHundredReadsIsTooLate",
     [](Bench& b) { b.unit.beforePrompt = std::string(83, 'x'); }, RunOutcome::NoBootloader,
     "No answer from the bootloader", kEntry.c_str()},
    {"BytesBeforeThePromptAreSkipped", [](Bench& b) { b.unit.beforePrompt = "xyz<\r\n"; },
     RunOutcome::Complete, "Complete."},
    {"WrongIdentificationsAreReported",
     [](Bench& b) {
         b.unit.wrongIds = {"alaR", "XobZ"};
     },
     RunOutcome::Complete, "Complete.", nullptr, kComplete,
     [](Bench& b) {
         for (const char* id : {"Invalid response >alaR", "Invalid response >XobZ"})
             EXPECT_EQ(b.face.statusCount(id), 1) << id;
         for (const auto& s : b.face.statuses)
             EXPECT_TRUE(s.text.rfind("Invalid", 0) != 0 || s.colour == Colour::Error);
         EXPECT_EQ(b.seq.PageSize, 64);
     }},
    {"AbortAwaitingTheBootloader",
     [](Bench& b) {
         b.unit.bootloaderSilent = true;
         b.atTick = [&b](int) {
             if (b.face.abortEnabled) b.seq.btnAbort_Click();
         };
     },
     RunOutcome::Aborted, "Aborted while waiting for the bootloader", kEntry.c_str(), "",
     [](Bench& b) {
         EXPECT_EQ(b.face.closeRequests, 1);
         EXPECT_EQ(b.closesRefused, 1);  // Flashing is still set: the window stays open
     }},
    {"CloseAwaitingTheRescuePowerUpCloses",
     [](Bench& b) {
         b.face.options[Option::Rescue] = true;
         b.closeOnce([&b] { return b.face.abortEnabled; });
     },
     RunOutcome::Aborted, nullptr, "", nullptr,
     [](Bench& b) {
         EXPECT_GE(b.closesGranted, 1);
         EXPECT_EQ(b.closesRefused, 0);
     }},
    {"CloseAwaitingTheCommandEntryIsRefused",
     [](Bench& b) {
         b.unit.bootloaderSilent = true;
         b.closeOnce([&b] { return b.face.abortEnabled; });
     },
     RunOutcome::Aborted, nullptr, kEntry.c_str(), nullptr,
     [](Bench& b) {
         EXPECT_EQ(b.closesGranted, 0);
         EXPECT_EQ(b.closesRefused, 2);  // the user's and the sequence's own
     }},
    {"AbortInThePageLoop", stopAfterFrames(4, true), RunOutcome::Aborted,
     "Flashing aborted - the unit needs a Rescue re-flash", nullptr, "",
     [](Bench& b) {
         abortedBeforeTheNextFrame(b);
         EXPECT_EQ(b.face.closeRequests, 0);
     }},
    {"CloseInThePageLoop", stopAfterFrames(4, false), RunOutcome::Aborted,
     "Flashing aborted - the unit needs a Rescue re-flash", nullptr, "",
     [](Bench& b) {
         abortedBeforeTheNextFrame(b);
         EXPECT_EQ(b.closesRefused, 1);
         EXPECT_EQ(b.closesGranted, 0);
     }},
    {"CloseInThePageLoopOfARescue",
     [](Bench& b) {
         rescueWithPowerUp(b);
         stopAfterFrames(2, false)(b);
     },
     RunOutcome::Aborted, "Flashing aborted - the unit needs a Rescue re-flash", nullptr, nullptr,
     [](Bench& b) {
         EXPECT_EQ(b.closesRefused, 1);
         EXPECT_EQ(b.unit.frames.size(), 2u);
     }},
    {"CloseInTheEepromUpdateIsRefusedAndItGoesOn",
     [](Bench& b) {
         b.unit.onCommand = [&b](const std::string& c) {
             if (c.rfind("e0010", 0) == 0) b.face.requestClose();
         };
     },
     RunOutcome::Complete, "Complete.", nullptr, kComplete,
     [](Bench& b) {
         EXPECT_EQ(b.closesRefused, 1);
         EXPECT_EQ(b.closesGranted, 0);
         EXPECT_EQ(b.unit.commandCount("a01FF"), 1);
     }},
    {"AbortInTheRestartWaitStopsNothingClosesNothing",
     [](Bench& b) {
         b.atTick = [&b, done = false](int) mutable {
             if (b.unit.restarts != 1 || done) return;
             done = true;
             b.seq.btnAbort_Click();
         };
     },
     RunOutcome::Complete, "Complete.", nullptr, kComplete,
     [](Bench& b) { EXPECT_EQ(b.face.closeRequests, 0); }},
    {"StaleAbortIsClearedAtStart",
     [](Bench& b) {
         b.link.AbortRequested = true;
         b.face.options[Option::EEOnly] = true;
     },
     RunOutcome::Complete, "Complete.", nullptr, kComplete,
     [](Bench& b) {
         EXPECT_EQ(b.face.closeRequests, 0);
         EXPECT_EQ(b.unit.commandCount("a01FF"), 1);
     }},
    {"UnitVanishesMidPage", [](Bench& b) { b.unit.vanishAfterPage = 10; }, RunOutcome::LineLost,
     "Lost contact with the unit on COM1", nullptr, "",
     [](Bench& b) {
         EXPECT_EQ(b.unit.frames.size(), 11u);
         EXPECT_EQ(b.unit.restarts, 0);
     }},
    {"UnitVanishesInTheEepromUpdate", [](Bench& b) { b.unit.vanishAfterWrite = 0x20; },
     RunOutcome::LineLost, "Lost contact with the unit on COM1", nullptr, "",
     [](Bench& b) { EXPECT_EQ(b.face.statusCount("re-programmed address 0021."), 0); }},
    {"PageThatKeepsFailingGetsThirtyAttempts",
     pages([](int page, int) { return page == 7 ? '#' : '!'; }), RunOutcome::PageFailed, kGiveUp7,
     nullptr, "",
     [](Bench& b) {
         EXPECT_EQ(b.unit.frameCount[7], 30);
         EXPECT_EQ(b.unit.frameCount.count(8), 0u);
         EXPECT_EQ(b.unit.restarts, 0);
         EXPECT_EQ(b.seq.ProgRetries, 30);
     }},
    {"PageAlwaysRejectedGetsThirtyAttempts",
     pages([](int page, int) { return page == 3 ? '@' : '!'; }), RunOutcome::PageFailed,
     "Programming failed on page 3 - giving up; the unit needs a Rescue re-flash", nullptr, "",
     [](Bench& b) {
         EXPECT_EQ(b.unit.frameCount[3], 30);
         EXPECT_EQ(b.face.statusCount("Programming failed on page 3"), 30);
     }},
    {"PageFailingEveryOtherTimeCannotLoopForever",  // three series end well, a fourth first fails
     pages([](int page, int n) { return page == 2 && n % 2 == 0 ? '#' : '!'; }),
     RunOutcome::PageFailed, nullptr, nullptr, nullptr,
     [](Bench& b) { EXPECT_EQ(b.unit.frameCount[2], 7); }},
    {"Page0GarbledOnceIsSentThreeTimes",
     pages([](int page, int n) { return page == 0 && n == 0 ? 'Z' : '!'; }, true),
     RunOutcome::Complete, "Complete.", nullptr,
     "Flash and EEPROM Programming complete (1 retries).",
     [](Bench& b) {
         EXPECT_EQ(b.face.logs[1].substr(0, 14),
                   "=??"
                   "?!=!=0=!=1=");
         EXPECT_EQ(b.unit.frameCount[0], 3);
         EXPECT_EQ(b.unit.frameCount[1], 1);
         EXPECT_EQ(b.seq.ProgRetries, 1);
         EXPECT_EQ(std::count(b.face.dataLabels.begin(), b.face.dataLabels.end(), "Z"), 1);
     }},
    {"Page17RejectedOnceIsRetriedWithoutMarks",
     pages([](int page, int n) { return page == 17 && n == 0 ? '@' : '!'; }, true),
     RunOutcome::Complete, "Complete.", nullptr, kComplete,
     [](Bench& b) {
         EXPECT_EQ(b.face.statusCount("Programming failed on page 17"), 1);
         EXPECT_EQ(b.face.logs[1].find("???"), std::string::npos);
         EXPECT_NE(b.face.logs[1].find("=16=!=!=17=!=18="), std::string::npos);
         EXPECT_EQ(b.unit.frameCount[17], 3);
     }},
    {"LateAnswerIsDroppedSoARefusedPageIsSentAgain",  // found by the soak
     [](Bench& b) {
         b.unit.pageAnswer = [&b](int page, int n) -> unsigned char {
             if (page == 4 && n == 0) b.serial.deliver("!");
             return page == 5 && n == 0 ? '@' : '!';
         };
     },
     RunOutcome::Complete, "Complete.", nullptr, kComplete,
     [](Bench& b) {
         EXPECT_EQ(b.unit.frameCount[5], 3);
         EXPECT_EQ(b.face.statusCount("Programming failed on page 5"), 1);
         for (int a = 5 * 64; a < 6 * 64; ++a) ASSERT_EQ(b.unit.flash[a], b.image.FlashImage[a]);
     }},
    {"SeveralLateBytesAreAllDropped",
     [](Bench& b) {
         b.unit.pageAnswer = [&b](int page, int n) -> unsigned char {
             if (page == 10 && n == 0) b.serial.deliver("!!@");
             return page == 11 && n == 0 ? '@' : '!';
         };
     },
     RunOutcome::Complete, "Complete.", nullptr, kComplete,
     [](Bench& b) {
         EXPECT_EQ(b.unit.frameCount[11], 3);
         EXPECT_EQ(b.unit.frameCount[12], 1);
     }},
    {"RetriesCountFromTheFirstPage",
     [](Bench& b) {
         b.seq.ProgRetries = 4;
         b.face.options[Option::FlashOnly] = true;
         rescueWithPowerUp(b);
         b.face.onAsk = [&b](const MessageBox& box) {
             if (box.buttons != Buttons::OkCancel) return;
             b.seq.ProgRetries = 9;
             b.unit.powerUpInBootloader();
         };
     },
     RunOutcome::Complete, "Complete.", nullptr, nullptr,
     [](Bench& b) { EXPECT_EQ(b.seq.ProgRetries, 0); }},
    {"RetriesCountFromZero",
     [](Bench& b) {
         b.seq.ProgRetries = 7;
         b.face.options[Option::EEOnly] = true;
     },
     RunOutcome::Complete, "Complete.", nullptr, kComplete},
    {"SecondStartDuringARunDoesNothing",
     [](Bench& b) {
         b.atTick = [&b, presses = 0](int) mutable {
             if (presses++ < 3) b.seq.btnFlashStart_Click();
         };
         b.unit.onCommand = [&b](const std::string& c) {
             if (c == "a0005") b.seq.btnFlashStart_Click();
         };
     },
     RunOutcome::Complete, "Complete.", nullptr, kComplete,
     [](Bench& b) {
         EXPECT_EQ(b.unit.commandCount("m0"), 2);  // the version check and the EEPROM update
         EXPECT_EQ(b.unit.commandCount("b0023"), 1);
         EXPECT_EQ(b.unit.commandCount("a0005"), 1);
     }},
    {"StrayReadingAfterTheRestartPutsNoReplyOutOfStep",
     [](Bench& b) {
         b.unit.onCommand = [&b, stray = false](const std::string& c) mutable {
             if (c != "tf" || b.unit.restarts != 1 || stray) return;
             stray = true;
             b.serial.deliver("\nD 14.70 0.998 0812\r\n");
         };
     },
     RunOutcome::Complete, "Complete.", nullptr, kComplete,
     [](Bench& b) { EXPECT_TRUE(b.face.sawStatus("Data from unit =  0023\r\n")); }},
    {"SilentAfterTheRestart",
     [](Bench& b) {
         b.atTick = [&b](int) {
             if (b.unit.restarts == 1) b.unit.silent = true;
         };
     },
     RunOutcome::NoRestart, "No answer from the unit after the restart", nullptr, "",
     [](Bench& b) { EXPECT_EQ(b.unit.commandCount("m0"), 1); }},
    {"FlashOnlySilentAfterTheRestart",
     [](Bench& b) {
         b.face.options[Option::FlashOnly] = true;
         b.atTick = [&b](int) {
             if (b.unit.restarts == 1) b.unit.silent = true;
         };
     },
     RunOutcome::NoRestart, "No answer from the unit after the restart", nullptr, ""},
    {"EEOnlyWithAUnitGoneQuiet",
     [](Bench& b) {
         b.face.options[Option::EEOnly] = true;
         b.unit.onCommand = [&b, versionRead = false](const std::string& c) mutable {
             if (versionRead) b.unit.silent = true;
             versionRead = versionRead || c == "v";
         };
     },
     RunOutcome::NoRestart, "No answer from the unit", nullptr, "",
     [](Bench& b) { EXPECT_EQ(b.unit.commandCount("m0"), 1); }},
    {"NoCompletionBoxWithoutPrompt",
     [](Bench& b) { b.face.options[Option::PromptOnComplete] = false; }, RunOutcome::Complete,
     "Complete.", nullptr, ""},
    {"FlashOnlySkipsTheEeprom", option(Option::FlashOnly), RunOutcome::Complete, "Complete.",
     nullptr, kComplete,
     [](Bench& b) {
         EXPECT_EQ(b.eventsFrom("end 03FF"),
                   (std::vector<std::string>{"end 03FF", "tf", "tf", "v", "m1", "t1", "v"}));
         for (const auto& s : b.face.statuses) EXPECT_EQ(s.text.find("EEPROM"), std::string::npos);
     }},
    {"EEOnlyWithoutIdentificationNeverTouchesTheBootloaderAndSaysWhatItAssumed",
     [](Bench& b) {
         b.face.options[Option::EEOnly] = true;
         b.seq.EESizeKnown = false;
     },
     RunOutcome::EepromSizeAssumed,
     "EEPROM size not known: 512 bytes updated; a larger EEPROM was updated only in part.", nullptr,
     nullptr,
     [](Bench& b) {
         ASSERT_FALSE(b.face.boxes.empty());
         EXPECT_EQ(b.face.boxes.back().title, "EEPROM size not known");
         EXPECT_EQ(b.serial.sent.find('<'), std::string::npos);
         EXPECT_TRUE(b.unit.frames.empty());
         EXPECT_EQ(std::vector<std::string>(b.unit.events.begin(), b.unit.events.begin() + 7),
                   (std::vector<std::string>{"tf", "m0", "v", "tf", "tf", "v", "m0"}));
         EXPECT_EQ(b.commandsFor("01FF").size(), 2u);
         EXPECT_TRUE(b.commandsFor("0200").empty());  // 512 bytes at start-up
     }},
    {"EepromCommandsAreShownBeforeTheyGoOut",
     [](Bench& b) {
         b.face.options[Option::EEOnly] = true;
         b.image.EEimage[0x12] = 0x05;
         b.image.EEimage[0x1FF] = 0xA0;
         b.unit.onCommand = [&b](const std::string& c) {
             if (c == "e001205" || c == "a0012") b.notes += b.face.dataLabel + ";";
             if (c == "e0100" + hex2(b.image.EEimage[0x100]))
                 b.notes += b.face.startCaption + (b.face.startEnabled ? " on" : "") +
                            (b.face.abortEnabled ? " abort" : "") +
                            (b.seq.Flashing ? " flashing" : "") + ";";
         };
     },
     RunOutcome::Complete, "Complete.", nullptr, kComplete,
     [](Bench& b) {
         EXPECT_EQ(b.commandsFor("0012"), (std::vector<std::string>{"e001205", "a0012"}));
         EXPECT_EQ(b.commandsFor("01FF"), (std::vector<std::string>{"e01FFA0", "a01FF"}));
         EXPECT_EQ(b.unit.eeprom[0x12], 0x05);
         EXPECT_EQ(b.notes, "e001205;Start on flashing;a0012;");  // Start stays, Abort off
     }},
    {"LowerCaseConfirmationThenCancelStopsTheUpdate",
     [](Bench& b) {
         b.unit.lowerCaseConfirm = true;
         b.face.answers.push_back(Answer::Cancel);
     },
     RunOutcome::EepromIncomplete, "EEPROM update incomplete.", nullptr,
     "addr = 000A, response = 000a|"
     "Flash programmed, but the EEPROM update is incomplete (5 retries).",
     [](Bench& b) {
         for (int a = 0; a < 10; ++a) EXPECT_EQ(b.commandsFor(hex4(a)).size(), 1u) << a;
         EXPECT_EQ(b.commandsFor("000A").size(), 5u);
         EXPECT_TRUE(b.commandsFor("000B").empty());
         EXPECT_EQ(b.face.statusCount("re-programmed address 000A."), 5);
         EXPECT_EQ(b.seq.ProgRetries, 5);
         EXPECT_EQ(b.face.boxes[0].title, "EEPROM Program Error");
         EXPECT_EQ(b.face.boxes[0].buttons, Buttons::OkCancel);
         EXPECT_EQ(b.face.boxes[0].icon, Icon::Critical);
         EXPECT_EQ(b.face.boxes[1].icon, Icon::Exclamation);
         EXPECT_EQ(b.face.logs.back().find("EEPROM verifying"), std::string::npos);
         EXPECT_EQ(b.face.logs.back().substr(b.face.logs.back().size() - 27),
                   "\r\nEEPROM update incomplete.");
         EXPECT_EQ(b.eventsFrom("m1"), (std::vector<std::string>{"m1", "t1", "v"}));
     }},
    {"OkSkipsEachFailedAddressAndTheUpdateGoesOn",
     [](Bench& b) {
         b.unit.lowerCaseConfirm = true;  // every address with a letter in its text fails
         b.face.options[Option::EEOnly] = true;
     },
     RunOutcome::EepromIncomplete, "EEPROM update incomplete.", nullptr, nullptr,
     [](Bench& b) {
         int failing = 0;
         for (int a = 0; a < 512; ++a) {
             const bool letter = hex4(a).find_first_of("ABCDEF") != std::string::npos;
             ASSERT_EQ(b.commandsFor(hex4(a)).size(), letter ? 6u : 2u) << hex4(a);
             failing += letter;
         }
         EXPECT_EQ(b.face.boxes.size(), failing + 1u);  // the unit did store every byte
         EXPECT_EQ(b.seq.ProgRetries, 5 * failing);
         EXPECT_EQ(b.face.boxes.back().text, "The EEPROM update is incomplete (" +
                                                 std::to_string(5 * failing) + " retries).");
     }},
    {"WrongReadBackIsReadAgainNotWrittenAgain",
     [](Bench& b) {
         b.face.options[Option::EEOnly] = true;
         b.image.EEimage[0x12] = 0x05;
         b.unit.readOverride[0x12] = 0x07;
     },
     RunOutcome::EepromIncomplete, "EEPROM update incomplete.", nullptr,
     "addr = 0012, wrote = 0005, read = 0007|The EEPROM update is incomplete (5 retries).",
     [](Bench& b) {
         EXPECT_EQ(b.commandsFor("0012"), (std::vector<std::string>{"e001205", "a0012", "a0012",
                                                                    "a0012", "a0012", "a0012"}));
         EXPECT_EQ(b.face.statusCount("re-verified address 0012."), 5);
         EXPECT_EQ(b.face.boxes[0].title, "EEPROM Verify Error");
         EXPECT_EQ(b.face.boxes[0].buttons, Buttons::OkCancel);
         EXPECT_EQ(b.face.boxes[0].icon, Icon::Exclamation);
         EXPECT_EQ(b.commandsFor("0013").size(), 2u);
     }},
    {"CancelInTheVerifyBoxStopsAtOnce",
     [](Bench& b) {
         b.face.options[Option::EEOnly] = true;
         b.image.EEimage[0x12] = 0x05;
         b.unit.readOverride[0x12] = 0x100;
         b.face.answers.push_back(Answer::Cancel);
     },
     RunOutcome::EepromIncomplete, "EEPROM update incomplete.", nullptr,
     "addr = 0012, wrote = 0005, read = 0100|The EEPROM update is incomplete (5 retries).",
     [](Bench& b) {
         EXPECT_EQ(b.commandsFor("0013").size(), 1u);  // written, never read
         EXPECT_EQ(b.eventsFrom("m1"), (std::vector<std::string>{"m1", "t1", "v"}));
     }},
    {"IncompleteWithoutPromptShowsTheErrorBoxOnly",
     [](Bench& b) {
         b.face.options[Option::EEOnly] = true;
         b.face.options[Option::PromptOnComplete] = false;
         b.image.EEimage[0x30] = 0x05;
         b.unit.readOverride[0x30] = 0x200;
     },
     RunOutcome::EepromIncomplete, "EEPROM update incomplete.", nullptr,
     "addr = 0030, wrote = 0005, read = 0200"},
    {"SilentFirmwareFailsEveryAddress",
     [](Bench& b) {
         b.face.options[Option::EEOnly] = true;
         b.unit.onCommand = [&b](const std::string& c) {
             if (c[0] == 'e') b.unit.silent = true;
         };
         b.face.answers = {Answer::Ok, Answer::Ok, Answer::Ok, Answer::Cancel};
     },
     RunOutcome::EepromIncomplete, "EEPROM update incomplete.", nullptr,
     "addr = 0000, response = |addr = 0001, response = |addr = 0002, response = |"
     "addr = 0003, response = |The EEPROM update is incomplete (20 retries)."},
};

TEST_P(Ends, AsTheRowSays) {
    const End& e = GetParam();
    e.setup(*this);
    run();
    EXPECT_EQ(seq.lastOutcome(), e.outcome);
    if (e.status) {
        std::string status = e.status;
        if (const auto at = status.find("%f"); at != std::string::npos)
            status.replace(at, 2, face.file);
        EXPECT_EQ(face.lastStatus().text, status);
        EXPECT_EQ(face.lastStatus().colour,
                  e.outcome == RunOutcome::Complete ? Colour::Status : Colour::Error);
    }
    if (e.sent) {
        EXPECT_EQ(firstDifference(serial.sent, e.sent), "") << serial.sent.substr(0, 40);
    }
    if (e.boxes) {
        std::string texts;
        for (const auto& box : face.boxes) texts += (texts.empty() ? "" : "|") + box.text;
        EXPECT_EQ(texts, e.boxes);
    }
    EXPECT_TRUE(atRest());
    if (e.more) e.more(*this);
}

INSTANTIATE_TEST_SUITE_P(Sequence, Ends, ::testing::ValuesIn(kEnds),
                         [](const auto& info) { return std::string(info.param.name); });

// Each type's pages, end word and EEPROM are checked end to end (tests/e2e); here what only a
// session shows: an EE only run uses the EEPROM size of the last identification.
TEST_F(Bench, EEOnlyUsesTheSizeOfTheLastIdentification) {
    seq.EESizeKnown = false;
    unit.identification = "EnbS";
    face.options[Option::FlashOnly] = true;
    run();
    EXPECT_EQ(seq.PageSize * 1000 + seq.PageCount, 128252);
    face.options = {{Option::EEOnly, true}};
    unit.events.clear();
    run();
    EXPECT_EQ(unit.commandCount("a03FF"), 1);
    EXPECT_EQ(unit.commandCount("a0400"), 0);
    EXPECT_EQ(face.logs.back().rfind("Programming 1024 bytes of EE Prom.\r\n", 0), 0u);
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::Complete) << "the size is known";
}

TEST(UnitTypeTable, IdentificationsAreComparedExactly) {
    EXPECT_EQ(findUnitType("alaR"), nullptr);
    EXPECT_EQ(findUnitType("AlaR "), nullptr);
}

// One attempt at one page: the answer byte decides what is shown and counted.
struct Answered {
    const char* name;
    char answer;
    bool taken;
    const char *log, *label, *status;
    int retries;
};
class OnePage : public Bench, public ::testing::WithParamInterface<Answered> {};

TEST_P(OnePage, AnswerDecides) {
    const Answered& a = GetParam();
    if (a.answer) unit.pageAnswer = [&a](int, int) { return a.answer; };
    seq.PageSize = 64;
    unit.openExchange(64);
    if (!a.answer) serial.onSend = nullptr;  // the unit says nothing
    face.log = "=";
    EXPECT_EQ(seq.ProgramPage(17), a.taken);
    EXPECT_EQ(serial.sent, frame(17, 64));
    EXPECT_EQ(face.log, a.log);
    EXPECT_EQ(face.dataLabel, a.answer ? std::string(a.label) : std::string(1, '\0'));
    EXPECT_EQ(face.lastStatus().text, a.status);
    EXPECT_EQ(seq.ProgRetries, a.retries);
    EXPECT_EQ(clock.ticks > 5, !a.answer) << "no answer: after the short time-out";
}

INSTANTIATE_TEST_SUITE_P(
    Sequence, OnePage,
    ::testing::Values(Answered{"Taken", '!', true, "=!=", "", "", 0},
                      Answered{"Rejected", '@', false, "=", "", "Programming failed on page 17", 0},
                      Answered{"Unexpected", 'A', false, "=???", "A", "", 1},
                      Answered{"None", 0, false, "=???", "", "", 1}),  // judged by the send: 0
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Bench, FrameChecksumsAndPageNumbers) {
    image.FlashImage.fill(0xFF);
    for (int i = 0; i < 64; ++i) image.FlashImage[64 * 251 + i] = i;
    EXPECT_EQ(frame(0, 64).back(), '\xC0');
    EXPECT_EQ(frame(1, 128).back(), '\x80');
    EXPECT_EQ(frame(2, 256).back(), '\x00');
    seq.PageSize = 64;
    unit.openExchange(64);
    ASSERT_TRUE(seq.ProgramPage(251));
    EXPECT_EQ(serial.sent, frame(251, 64));
    EXPECT_EQ(serial.sent.back(), '\xE0');  // 0 + 1 + ... + 63
    EXPECT_EQ(serial.sent[1], '\xFB');
}

// The option boxes' handlers: {EE only, Flash only, Rescue} before, which is clicked, after.
TEST_F(Bench, OptionHandlers) {
    struct Click {
        bool ee, flash, rescue;
        void (FlashSequence::*handler)();
        bool eeAfter, flashAfter, rescueAfter;
    };
    const Click rows[] = {
        {true, true, true, &FlashSequence::chkEEOnly_Click, true, false, false},
        {false, true, true, &FlashSequence::chkEEOnly_Click, false, true, true},
        {true, true, true, &FlashSequence::chkFlashOnly_Click, false, true, true},
        {true, false, false, &FlashSequence::chkFlashOnly_Click, true, false, false}};
    for (const Click& c : rows) {
        SCOPED_TRACE(&c - rows);
        face.options = {
            {Option::EEOnly, c.ee}, {Option::FlashOnly, c.flash}, {Option::Rescue, c.rescue}};
        (seq.*c.handler)();
        EXPECT_EQ(face.option(Option::EEOnly), c.eeAfter);
        EXPECT_EQ(face.option(Option::FlashOnly), c.flashAfter);
        EXPECT_EQ(face.option(Option::Rescue), c.rescueAfter);
    }
    seq.chkPromptOnComplete_Click();
    EXPECT_EQ(seq.PromptSetting, " 0");
    face.options[Option::PromptOnComplete] = true;
    seq.chkPromptOnComplete_Click();
    EXPECT_EQ(seq.PromptSetting, " 1");
    face.abortEnabled = true;
    seq.btnAbort_Click();
    EXPECT_TRUE(link.AbortRequested);
    EXPECT_FALSE(face.abortEnabled);
    EXPECT_EQ(face.closeRequests, 0);
    EXPECT_EQ(serial.sent, "");
}

}  // namespace
}  // namespace ondo::testing
