// End to end: the real ondo-flash run as a script runs it ("flash" on the command line) against
// the simulated unit on a pseudo-terminal. One row a case: the unit's options and the run's ->
// exit status, what the run says, and what the unit holds byte for byte afterwards. Recovery
// rows run a second update after the first failed and need the unit to end up updated.

#include <gtest/gtest.h>
#include <signal.h>

#include <cctype>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>

#include "firmware/hxf.h"
#include "support/hxf_file.h"
#include "support/run.h"
#include "support/sim_process.h"

// After the project's headers: Qt's "emit" keyword would spoil a name in them.
#include <QJsonDocument>
#include <QJsonObject>

namespace ondo::testing {
namespace {

struct Flash {
    const char* name;
    std::string unit;  // the simulated unit's options; "demo" first: run by flash --demo
    std::vector<std::string> args;
    int exit;
    // Texts of standard output ("out:") or error ("err:", the terminal's on one); "N*" before
    // it: at least N times; "!" before it: never.
    std::vector<std::string> says = {};
    std::string flash = "", eeprom = "";          // "image", "erased", "image<N": image below N
    std::map<std::string, long long> stats = {};  // the unit's counters after the first run
    const char* interruptAt = nullptr;  // a Ctrl-C to the process group when the output has it
    bool terminal = false;
    std::vector<std::string> answers = {};  // typed, one at each question on the terminal
    const char* between = "";               // control command for the unit before a second run
    std::vector<std::string> then = {};     // a second run's options: it must exit 0
};
void PrintTo(const Flash& f, std::ostream* out) {
    *out << f.name;
}

// Every flash address and 2048 EEPROM bytes, none alike to its neighbours.
const std::string& firmwareText() {
    static const std::string text = [] {
        std::vector<std::uint8_t> flash(kFlashImageSize), eeprom(2048);
        for (std::size_t a = 0; a < flash.size(); ++a) flash[a] = (a * 7 + 3 + (a >> 8)) & 0xFF;
        for (std::size_t a = 0; a < eeprom.size(); ++a) eeprom[a] = (a * 13 + 5) & 0xFF;
        return hxfFile(flash, eeprom);
    }();
    return text;
}

class FlashRun : public ::testing::TestWithParam<Flash> {
  protected:
    RunResult flash(const Flash& f, std::vector<std::string> options, bool first = true) {
        Child run;
        run.args = {"flash"};
        if (demo) {
            run.args.push_back("--demo");
        } else if (std::find(options.begin(), options.end(), "--port") == options.end()) {
            run.args.insert(run.args.end(), {"--port", unit->linkPath()});
        }
        if (!demo && std::find(options.begin(), options.end(), "--file") == options.end())
            run.args.insert(run.args.end(), {"--file", folder.file("fw.HXF")});
        for (std::string& o : options) o = expand(o);
        run.args.insert(run.args.end(), options.begin(), options.end());
        if (demo)
            run.args.insert(run.args.end(),
                            {"--sim-args", "--ee-init /dev/null --dump \"" + folder.file("unit") +
                                               "\" --stats \"" + folder.file("stats") + "\" " +
                                               f.unit.substr(4)});
        run.onTerminal = f.terminal;
        bool interrupted = false, rescued = false;
        run.onOutput = [&](pid_t pid, const std::string& out) {
            if (first && f.interruptAt && !interrupted &&
                out.find(f.interruptAt) != std::string::npos) {
                interrupted = true;
                ::kill(-pid, SIGINT);
            }
            if (!demo && !rescued &&
                out.find("\"title\":\"Rescue Requires a Temorary Jumper\"") != std::string::npos) {
                rescued = true;  // the user powers the unit up with the jumper fitted
                EXPECT_TRUE(unit->control("rescue"));
            }
        };
        std::size_t answered = 0;
        run.onTerminalOutput = [&](const std::string& t) -> std::string {
            if (static_cast<std::size_t>(occurrences(t, "OK or Cancel? [o/c] ")) <= answered ||
                answered >= f.answers.size())
                return "";
            return f.answers[answered++];
        };
        RunResult r = run.run();
        EXPECT_FALSE(r.hung) << r.err << r.terminal;
        if (first && f.interruptAt) {
            EXPECT_TRUE(interrupted) << r.out;
        }
        return r;
    }
    std::string expand(std::string text) const {
        for (const auto& [mark, file] : {std::pair{"%bad", "bad.HXF"}, {"%missing", "missing"}})
            if (auto at = text.find(mark); at != std::string::npos)
                text.replace(at, std::strlen(mark), folder.file(file));
        return text;
    }
    std::string dumped(const char* what) {
        if (!demo) {
            EXPECT_TRUE(unit->control("dump"));
        }
        return readFile(demo ? folder.file(std::string("unit.") + what)
                             : unit->folder() + "/dump." + what);
    }
    std::map<std::string, long long> counters() {
        if (demo) {
            std::map<std::string, long long> values;
            std::istringstream in(readFile(folder.file("stats")));
            for (std::string key; in >> key;) in >> values[key];
            return values;
        }
        EXPECT_TRUE(unit->control("dump"));
        return unit->stats();
    }
    // The memory against the image: "image", "erased" or "image<N" (erased from N on).
    void expectHolds(const char* what, const std::string& want, const std::uint8_t* image,
                     std::size_t imageSize) {
        if (want.empty()) return;
        const std::string bytes = dumped(what);
        ASSERT_FALSE(bytes.empty()) << what;
        std::size_t upTo = want == "erased" ? 0 : bytes.size();
        if (want.rfind("image<", 0) == 0) upTo = std::stoul(want.substr(6));
        for (std::size_t a = 0; a < bytes.size(); ++a) {
            const int expected = a < upTo ? (a < imageSize ? image[a] : 0xFF) : 0xFF;
            ASSERT_EQ(static_cast<std::uint8_t>(bytes[a]), expected) << what << " address " << a;
        }
    }

    TempFolder folder;
    std::unique_ptr<SimProcess> unit;
    bool demo = false;
};

void expectSays(const std::vector<std::string>& says, const RunResult& r) {
    for (std::string text : says) {
        const bool fewer = text[0] == '!';  // "!N*": fewer than N times
        if (fewer) text.erase(0, 1);
        int times = 1;
        if (std::isdigit(static_cast<unsigned char>(text[0]))) {
            times = std::stoi(text);
            text.erase(0, text.find('*') + 1);
        }
        const std::string stream = text.rfind("out:", 0) == 0 ? r.out : r.err + r.terminal;
        const int seen = occurrences(stream, text.substr(4));
        EXPECT_TRUE(fewer ? seen < times : seen >= times) << seen << " x " << text << " in:\n"
                                                          << stream;
    }
}

// With --progress=json every line is one JSON object, the last one the end with the exit status.
void expectJson(const RunResult& r) {
    const auto lines = r.outLines();
    ASSERT_FALSE(lines.empty());
    for (const std::string& line : lines) {
        const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(line));
        EXPECT_TRUE(doc.isObject() && doc.object()["event"].isString()) << line;
    }
    const auto end = QJsonDocument::fromJson(QByteArray::fromStdString(lines.back())).object();
    EXPECT_EQ(end["event"].toString(), "end");
    EXPECT_EQ(end["exit"].toInt(-1), r.exitCode);
    EXPECT_EQ(r.err, "") << "with JSON every event goes to standard output";
}

TEST_P(FlashRun, ExitSaysAndHolds) {
    const Flash& f = GetParam();
    demo = f.unit.rfind("demo", 0) == 0;
    FirmwareImage image;
    if (demo) {
        readHxfText(readFile(std::string(ONDO_SAMPLES_DIR) + "/demo-AlaR.HXF"), image);
    } else {
        writeFile(folder.file("fw.HXF"), firmwareText());
        writeFile(folder.file("bad.HXF"), "C:0100000055AB\r\nE:01001000A54A\r\n");
        readHxfText(firmwareText(), image);
        std::istringstream words(f.unit);
        std::vector<std::string> options{std::istream_iterator<std::string>(words), {}};
        unit = std::make_unique<SimProcess>(options);
        ASSERT_TRUE(unit->started()) << unit->error();
    }
    const RunResult r = flash(f, f.args);
    EXPECT_EQ(r.exitCode, f.exit) << r.err << r.terminal;
    expectSays(f.says, r);
    if (std::count(f.args.begin(), f.args.end(), "--progress=json")) expectJson(r);
    if (!f.stats.empty()) {
        auto counters = this->counters();
        for (const auto& [key, value] : f.stats) EXPECT_EQ(counters[key], value) << key;
    }
    if (!f.then.empty()) {
        if (*f.between) {
            ASSERT_TRUE(unit->control(f.between));
        }
        const RunResult again = flash(f, f.then, false);
        EXPECT_EQ(again.exitCode, 0) << again.out << again.err;
    }
    expectHolds("flash", f.flash, image.FlashImage.data(), image.FlashImage.size());
    expectHolds("eeprom", f.eeprom, image.EEimage.data(), image.EEimage.size());
}

const std::string kPages5 = R"("phase":"pages","page":5,)";
const std::string kLower = "--ee-lower 0x000A";
const std::string kJsonComplete =
    R"(out:{"event":"end","outcome":"complete","exit":0,"retries":0,"unit":")";

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, FlashRun,
    ::testing::Values(
        Flash{"AlaR",
              "--type AlaR",
              {},
              0,
              {"1*err:Opened COM1\n",
               "!2*err:Opened COM1\n",
               "err:Programming 124 pages. 64 bytes/page.\n",
               "err:\nData from unit =  0024\n",
               "err:\nComplete.\n",
               "err:[Programming complete] Flash and EEPROM Programming complete (0 retries).\n",
               "!err:\033",
               "out:=!=0=!=1=!=2=",
               "out:=!=123=\nFlashing complete. Awaiting soft reboot ...\n",
               "out:Programming 512 bytes of EE Prom.\n0000\n0001-0002-",
               "out:\nEEPROM verifying\n",
               "out:\nProgramming complete.\n",
               "err:Update report: unit AlaR, firmware 0024 -> 0024, 124 pages sent (0 resent), "
               "EEPROM 512 bytes written and 512 verified, 0 retries, ",
               "!out:\r",
               "!out:Opened COM1",
               "err:\nFlash: page 0 of 124 (0%), elapsed ",
               "err:\nFlash: page 62 of 124 (50%), elapsed ",
               "11*err:\nFlash: page ",
               "!12*err:\nFlash: page ",
               "err:\nEEPROM write: address 256 of 512 (50%), elapsed ",
               "err:\nEEPROM verify: address 512 of 512 (100%), elapsed "},
              "image",
              "image",
              {{"pages_stored", 124},
               {"pages_rejected", 0},
               {"end_word", 0x03FF},
               {"eeprom_writes", 512}}},
        Flash{
            "NmaS",
            "--type NmaS",
            {"--progress=json"},
            0,
            {kJsonComplete, R"(out:"phase":"pages","page":126,"total":126)",
             R"(out:"phase":"eeprom-write","address":512,"total":512)",
             R"(out:"phase":"eeprom-verify","address":512,"total":512)",
             R"(out:{"event":"box","title":"Programming complete","message":"Flash and EEPROM Programming complete (0 retries).","answer":"ok"})",
             R"(!2*out:{"event":"box")",
             R"(out:{"event":"status","level":"status","message":"Data from unit =  0024\r\n"})",
             R"(out:{"event":"log","text":"Flashing complete. Awaiting soft reboot ..."})"},
            "image",
            "image",
            {{"end_word", 0xFFFF}, {"eeprom_writes", 512}}},
        Flash{"BmaS",
              "--type BmaS",
              {},
              0,
              {"err:Programming 126 pages. 128 bytes/page.\n"},
              "image",
              "image",
              {{"pages_stored", 126}, {"end_word", 0x03FE}}},
        Flash{"EnbS",
              "--type EnbS",
              {},
              0,
              {"err:Programming 252 pages. 128 bytes/page.\n"},
              "image",
              "image",
              {{"pages_stored", 252}, {"end_word", 0x03FE}, {"eeprom_writes", 1024}}},
        Flash{"XobS",
              "--type XobS",
              {},
              0,
              {"err:Programming 252 pages. 256 bytes/page.\n"},
              "image",
              "image",
              {{"pages_stored", 252}, {"end_word", 0xFFFF}, {"eeprom_writes", 2048}}},
        Flash{"EEOnlyWithTheSizeGiven",
              "--type EnbS",
              {"--ee-only", "--ee-size", "EnbS"},
              0,
              {},
              "erased",
              "image<1024",
              {{"boot_entries", 0}}},
        Flash{"EEOnlyWithoutASizeSaysWhatItAssumed",
              "--type XobS",
              {"--ee-only"},
              8,
              {"err:EEPROM size not known: 512 bytes updated; a larger EEPROM was updated only in "
               "part."},
              "erased",
              "image<512",
              {{"eeprom_writes", 512}}},
        Flash{"FlashOnly",
              "",
              {"--flash-only"},
              0,
              {},
              "image",
              "erased",
              {{"eeprom_writes", 0}, {"restarts", 1}}},
        Flash{"RescueWithYesByTheDemo",
              "demo --version 0022",
              {"--rescue", "--yes"},
              0,
              {"err:[Rescue Requires a Temorary Jumper] Switch OFF the unit & take the cover "
               "OFF.\n\nRefer to documentation",
               "err:Press OK just before you switch the power back ON.  -> OK\n"},
              "image",
              "image"},
        Flash{"BadFirmwareFile",
              "",
              {"--file", "%bad"},
              3,
              {"err:error: Checksum error @ line 1"},
              "",
              "",
              {{"bytes_from_host", 0}}},
        Flash{"MissingFirmwareFile", "", {"--file", "%missing"}, 3, {"err:error: No File /"}},
        Flash{"NoSuchDevice",
              "",
              {"--port", "%missing"},
              4,
              {"err:error: Could NOT Open COM1, error-103\n",
               "err:error: No such file or directory\n"}},
        Flash{"SilentUnit",
              "--silent",
              {"--yes"},
              5,
              {"err:[Upgrade Requires Intervention] No Comms? Check for correct COM Port and "
               "wiring, etc.\n"},
              "",
              "",
              {{"boot_entries", 0}}},
        Flash{"FirmwareTooOld",
              "--version 0022",
              {"--yes"},
              5,
              {"err:[Upgrade Requires Intervention] You must select the Rescue option\nfor Rev "
               "0022 or lower firmware.\n"},
              "erased",
              "",
              {{"boot_entries", 0}}},
        Flash{"NoKnownIdentification",
              "--wrong-id alaR:100",
              {"--yes"},
              6,
              {"err:error: Invalid response >alaR\n", "err:error: No answer from the bootloader\n"},
              "erased",
              "",
              {{"pages_stored", 0}}},
        Flash{"PageKeepsFailing",
              "--reject-page 17:always",
              {"--yes"},
              7,
              {"err:error: Programming failed on page 17 - giving up; the unit needs a Rescue "
               "re-flash\n"},
              "image<1088",
              "erased",
              {{"eeprom_writes", 0}, {"pages_rejected", 30}}},
        Flash{"EepromBoxWithNoOneToAnswer",
              kLower,
              {},
              9,
              {"err:[EEPROM Program Error] addr = 000A, response = 000a  -> Cancel",
               "!out:EEPROM verifying"},
              "image",
              "image<11"},
        Flash{"EepromAddressSkippedWithYes",
              kLower,
              {"--yes"},
              8,
              {"5*err:error: re-programmed address 000A.\n",
               "!6*err:error: re-programmed address 000A.\n",
               "err:[EEPROM Program Error] addr = 000A, response = 000a  -> OK",
               "err:error: EEPROM update incomplete.\n", "out:\nEEPROM verifying\n"},
              "",
              "image"},
        Flash{"RescueBoxWithNoOneToAnswer",
              "",
              {"--rescue"},
              9,
              {"err:[Rescue Requires a Temorary Jumper] ", "err:  -> Cancel"},
              "",
              "",
              {{"boot_entries", 0}}},
        Flash{"CtrlCInThePages",
              "demo --pace",
              {"--progress=json"},
              7,
              {R"(out:{"event":"end","outcome":"aborted","exit":7,)",
               R"(out:"message":"Flashing aborted - the unit needs a Rescue re-flash"})",
               R"(out:{"event":"status","level":"plain","message":"Abort requested"})"},
              "",
              "erased",
              {{"eeprom_writes", 0}},
              kPages5.c_str()},
        Flash{"CtrlCAfterThePagesLeavesTheUnitOn",
              "demo",
              {"--progress=json"},
              0,
              {"out:Too late to abort: the EEPROM update runs to its end", kJsonComplete},
              "image",
              "image",
              {},
              R"("phase":"restart")"},
        Flash{"TerminalProgressLineAndYes",
              kLower,
              {"--yes"},
              8,
              {"!err:OK or Cancel? [o/c] ",
               "err:[EEPROM Program Error] addr = 000A, response = 000a  -> OK",
               "err:\r\033[KFlash: page 0 of 124 (0%), elapsed ",
               "err:\r\033[KFlash: page 62 of 124 (50%), elapsed ",
               "err:\r\033[KFlash: page 124 of 124 (100%), elapsed ", "err: left\r\033[K",
               "err:\r\033[KFlashing complete. Awaiting soft reboot ...",
               "2*err:\r\033[KRestart, elapsed ", "!out:\033", "out:=!=0=!=1="},
              "",
              "",
              {},
              nullptr,
              true},
        Flash{"TerminalAsksAgainUntilOk",
              kLower,
              {},
              8,
              {"2*err:OK or Cancel? [o/c] ", "!3*err:OK or Cancel? [o/c] ",
               "err:[EEPROM Program Error]\r\naddr = 000A, response = 000a\r\n",
               "out:\nEEPROM verifying\n"},
              "",
              "image",
              {},
              nullptr,
              true,
              {"maybe\n", "o\n"}},
        Flash{"TerminalCancelStopsTheEeprom",
              kLower,
              {},
              9,
              {"!out:EEPROM verifying"},
              "",
              "image<11",
              {},
              nullptr,
              true,
              {"c\n"}},
        Flash{"AbortInThePagesThenRescueRun",
              "",
              {"--yes", "--progress=json"},
              7,
              {R"(out:"outcome":"aborted")"},
              "image",
              "image",
              {{"end_word", -1}},
              R"("phase":"pages","page":20,)",
              false,
              {},
              "",
              {"--rescue", "--yes", "--progress=json"}},
        Flash{"PageFailedThenRescueRun",
              "--reject-page 30:30",
              {"--yes", "--progress=json"},
              7,
              {"out:Programming failed on page 30 - giving up"},
              "image",
              "image",
              {{"pages_rejected", 30}, {"pages_stored", 30}},
              nullptr,
              false,
              {},
              "",
              {"--rescue", "--yes", "--progress=json"}},
        Flash{"VanishedInThePagesThenReplugged",
              "--vanish-at page:40",
              {"--yes", "--progress=json"},
              7,
              {R"(out:"outcome":"line-lost")", "out:Lost contact with the unit"},
              "image",
              "image",
              {},
              nullptr,
              false,
              {},
              "replug",
              {"--yes"}},
        Flash{"VanishedInTheEepromThenReplugged",
              "--vanish-at ee:0x0100",
              {"--yes"},
              7,
              {"err:error: Lost contact with the unit"},
              "image",
              "image",
              {{"eeprom_writes", 0x100}},
              nullptr,
              false,
              {},
              "replug",
              {"--yes"}},
        Flash{"VanishedAtBootloaderEntryThenRescued",
              "--vanish-at boot",
              {"--yes"},
              7,
              {"err:error: Lost contact with the unit"},
              "image",
              "image",
              {},
              nullptr,
              false,
              {},
              "replug",
              {"--rescue", "--yes", "--progress=json"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ondo::testing
