// SPDX-License-Identifier: GPL-3.0-or-later
// End to end: the real ondo-flash run from the command line against the simulated unit on a
// pseudo-terminal. One row a case: the unit's options and one or more runs, each with its exit
// status, what the first says, then what the unit holds byte for byte. A row with a later run
// shows the recovery after a failed one: the unit must end up updated.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iomanip>
#include <map>
#include <memory>
#include <sstream>

#include "firmware/hxf.h"
#include "support/hxf_file.h"
#include "support/line.h"
#include "support/run.h"
#include "support/sim_process.h"

// After the project's headers: Qt's "emit" keyword would spoil a name in them.
#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

namespace ondo::testing {
namespace {

struct Row {
    const char* name;
    std::string unit;  // the simulated unit's options; its EEPROM starts with an owner's bytes
    // Runs of the program, ";" between them, each as words ("quoted" ones may hold blanks), a
    // last word "=N" for its exit status (0 without). PORT and FW stand for --port and --file
    // with the unit's line and the firmware; SAMPLE for the demo sample; TTY runs it on a
    // terminal; other words of capitals name files in the row's folder (BAD and NEARLY written
    // as below). "@command": a control command for the unit.
    std::string runs;
    // Texts of the first run's standard output ("out:") or error ("err:", the terminal's on one),
    // "|" between; "N*" before one: at least N times; "!N*": fewer than N times; "!": never.
    std::string says = "";
    // What the unit holds at the end, flash then EEPROM: "image", "before" (erased flash, the
    // owner's EEPROM), "image<N" (the image below N, as before from N) or "-" (not checked).
    std::string holds = "- -";
    std::string counters = "";  // "key=value ...": the unit's counters after the first run
    int backup = 0;  // N > 0: BACKUP holds the unit's first N EEPROM bytes only; -1: no BACKUP
    const char* interruptAt = nullptr;  // a Ctrl-C to the first run when its stdout has this
    std::string answers = "";           // typed at the terminal's questions in turn, "|" between
};
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

std::vector<std::string> split(const std::string& text, char mark) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, mark);) parts.push_back(part);
    return parts;
}

std::vector<std::uint8_t> pattern(std::size_t size, int times, int plus, int shift) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t a = 0; a < size; ++a) bytes[a] = ((a * times + plus) ^ (a >> shift)) & 0xFF;
    return bytes;
}
// Every flash address and 2048 EEPROM bytes, none alike to its neighbours; the owner's bytes.
const auto kFlash = pattern(kFlashImageSize, 7, 3, 8), kEeprom = pattern(2048, 13, 5, 12),
           kOwner = pattern(2048, 167, 13, 3);

void writeNamed(const std::string& word, const std::string& path) {
    static const std::map<std::string, std::string> kTexts = {
        {"BAD", "C:0100000055AB\r\nE:01001000A54A\r\n"},
        {"NEARLY", "C:" + std::string((1 << 20) - 100, 'A') + "\r\n"}};
    if (word == "FW") writeFile(path, hxfFile(kFlash, kEeprom));
    if (kTexts.contains(word)) writeFile(path, kTexts.at(word));
}

std::string sha256(const std::vector<std::uint8_t>& bytes) {
    const QByteArray data(reinterpret_cast<const char*>(bytes.data()),
                          static_cast<qsizetype>(bytes.size()));
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex().toStdString();
}

void expectSays(const std::string& says, const RunResult& r) {
    for (std::string text : split(says, '|')) {
        const bool fewer = text[0] == '!';
        if (fewer) text.erase(0, 1);
        int times = 1;
        if (std::isdigit(static_cast<unsigned char>(text[0]))) {
            times = std::stoi(text);
            text.erase(0, text.find('*') + 1);
        }
        const std::string stream = text.starts_with("out:") ? r.out : r.err;
        const int seen = occurrences(stream, text.substr(4));
        EXPECT_TRUE(fewer ? seen < times : seen >= times) << seen << " x " << text << " in:\n"
                                                          << stream;
    }
}

// With --progress=json every line is one JSON object, the last one the end with the exit status.
QJsonObject expectJson(const RunResult& r) {
    QJsonObject end;
    for (const std::string& line : split(r.out, '\n')) {
        end = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        EXPECT_TRUE(end["event"].isString()) << line;
    }
    EXPECT_EQ(r.err, "") << "with JSON every event goes to standard output";
    EXPECT_EQ(end["event"].toString(), "end");
    EXPECT_EQ(end["exit"].toInt(-1), r.exitCode);
    return end;
}

class CommandLine : public ::testing::TestWithParam<Row> {
  protected:
    void runRow();
    // A file of the row's folder; the Windows program's are named with a blank and letters
    // beyond ASCII.
    std::string named(const std::string& word) const {
        return folder.file(windows.empty() ? word : "Grüße " + word);
    }
    // Runs the program with these words; a Ctrl-C and answers only on the first run.
    RunResult run(const std::string& words, int& exit, bool first) {
        const Row& row = GetParam();
        Child child;
        if (!windows.empty()) child.command = windows;
        std::istringstream in(words);
        for (std::string w; in >> std::quoted(w);) {
            if (w == "PORT" || w == "FW") child.args.push_back(w == "PORT" ? "--port" : "--file");
            if (w == "PORT") {
                child.args.push_back(windows.empty() ? unit->linkPath() : "COM1");
            } else if (w == "SAMPLE") {
                child.args.push_back(ONDO_SAMPLES_DIR "/demo-AlaR.HXF");
            } else if (w == "TTY") {
                child.onTerminal = true;
            } else if (w[0] == '=') {
                exit = std::stoi(w.substr(1));
            } else if (w.size() > 1 && std::all_of(w.begin(), w.end(), ::isupper)) {
                writeNamed(w, named(w));
                child.args.push_back(named(w));
            } else {
                child.args.push_back(w);
            }
        }
        const char* interruptAt = first ? row.interruptAt : nullptr;
        bool interrupted = false, rescued = false;
        child.onOutput = [&](pid_t pid, const std::string& out) {
            if (interruptAt && !interrupted && out.find(interruptAt) != out.npos) {
                interrupted = true;
                ::kill(-pid, SIGINT);
            }
            if (!rescued &&
                out.find(R"("title":"Rescue Requires a Temorary Jumper")") != out.npos) {
                rescued = true;  // the user powers the unit up with the jumper fitted
                EXPECT_TRUE(unit->control("rescue"));
            }
        };
        const auto answers = split(first ? row.answers : "", '|');
        std::size_t answered = 0;
        child.onTerminalOutput = [&](const std::string& t) -> std::string {
            if (occurrences(t, "OK or Cancel? [o/c] ") <= static_cast<int>(answered) ||
                answered >= answers.size())
                return "";
            return answers[answered++] + "\n";
        };
        RunResult r = child.run();
        EXPECT_FALSE(r.hung) << r.err;
        EXPECT_EQ(interrupted, interruptAt != nullptr) << r.out;
        return r;
    }

    TempFolder folder;
    std::unique_ptr<SimProcess> unit;
    // The Windows program's command (WindowsProgram below), with COM1 the link comLink; empty
    // for this build's own program.
    std::vector<std::string> windows;
    std::string comLink;
};

// The memory against what it should hold: see Row::holds.
void expectHolds(const std::string& want, const std::vector<std::uint8_t>& got,
                 const std::vector<std::uint8_t>& image, const std::vector<std::uint8_t>& before) {
    if (want == "-") return;
    ASSERT_FALSE(got.empty());
    std::size_t upTo = want == "before" ? 0 : got.size();
    if (want.starts_with("image<")) upTo = std::stoul(want.substr(6));
    for (std::size_t a = 0; a < got.size(); ++a) {
        const int held = a < upTo && a < image.size() ? image[a]
                         : a < before.size()          ? before[a]
                                                      : 0xFF;
        ASSERT_EQ(got[a], held) << want << ", address " << a;
    }
}

void CommandLine::runRow() {
    const Row& row = GetParam();
    writeFile(folder.file("owner"), std::string(kOwner.begin(), kOwner.end()));
    std::istringstream options("--ee-init " + folder.file("owner") + " " + row.unit);
    unit = std::make_unique<SimProcess>(
        std::vector<std::string>{std::istream_iterator<std::string>(options), {}});
    ASSERT_TRUE(unit->started()) << unit->error();
    if (!comLink.empty()) {
        std::filesystem::create_directories(std::filesystem::path(comLink).parent_path());
        std::filesystem::remove(comLink);
        std::filesystem::create_symlink(unit->linkPath(), comLink);
    }
    const auto runs = split(row.runs, ';');
    for (std::size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE(runs[i]);
        if (runs[i].starts_with('@')) {
            ASSERT_TRUE(unit->control(runs[i].substr(1)));
            continue;
        }
        int exit = 0;
        const RunResult r = run(runs[i], exit, i == 0);
        EXPECT_EQ(r.exitCode, exit) << r.err;
        if (i == 0) expectSays(row.says, r);
        const QJsonObject end =
            runs[i].find("=json") != std::string::npos ? expectJson(r) : QJsonObject();
        if (i + 1 == runs.size() && !end.isEmpty() && r.exitCode == 0) {
            ASSERT_TRUE(unit->control("dump"));  // the report fingerprints what the unit holds
            EXPECT_EQ(end["code_sha256"].toString().toStdString(), sha256(unit->flash()));
            EXPECT_EQ(end["eeprom_sha256"].toString().toStdString(), sha256(unit->eeprom()));
        }
        if (i == 0 && !row.counters.empty()) {
            ASSERT_TRUE(unit->control("dump"));
            auto stats = unit->stats();
            for (const std::string& pair : split(row.counters, ' ')) {
                const std::string key = pair.substr(0, pair.find('='));
                EXPECT_EQ(stats[key], std::stoll(pair.substr(key.size() + 1), nullptr, 0)) << key;
            }
        }
    }
    ASSERT_TRUE(unit->control("dump"));
    const auto holds = split(row.holds, ' ');
    expectHolds(holds[0], unit->flash(), kFlash, {});
    expectHolds(holds[1], unit->eeprom(), kEeprom, kOwner);
    if (row.backup > 0) {
        FirmwareImage backup, want;
        EXPECT_FALSE(readHxfText(readFile(named("BACKUP")), backup).failed());
        std::copy_n(kOwner.begin(), row.backup, want.EEimage.begin());
        EXPECT_EQ(backup.EEimage, want.EEimage);
        EXPECT_EQ(backup.FlashImage, want.FlashImage) << "nothing but the EEPROM's bytes";
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        EXPECT_FALSE(row.backup < 0 && entry.path().string().starts_with(named("BACKUP")));
}

TEST_P(CommandLine, ExitSaysAndHolds) {
    runRow();
}

Row refused(const char* name, const std::string& runs, const std::string& error) {
    return {name, "", runs + " =2", "err:error: " + error + "|err:See: ondo-flash "};
}
Row check(const char* name, const std::string& file, const std::string& says) {
    return {name, "", "check " + file + (says.starts_with("out:") ? "" : " =3"), says};
}

const std::string kLower = "--ee-lower 0x000A";
const std::string kJsonComplete =
    R"(out:{"event":"end","outcome":"complete","exit":0,"retries":0,"unit":")";
const std::string kRescue = ";flash PORT FW --rescue --yes --progress=json";
const std::string kFlashBackup = "flash PORT --file SAMPLE --yes --backup-ee BACKUP --ee-size 512";

const Row kRows[] = {
    Row{"AlaR", "--type AlaR", "flash PORT FW",
        "1*err:Opened COM1\n|!2*err:Opened COM1\n|err:Programming 124 pages. 64 bytes/page.\n"
        "|err:\nData from unit =  0024\n|err:\nComplete.\n|err:[Programming complete] Flash "
        "and EEPROM Programming complete (0 retries).\n|!err:\033|!out:\r|out:=!=123=\n"
        "Flashing complete. Awaiting soft reboot ...\n|err:Update report: unit AlaR, firmware "
        "0024 -> 0024, 124 pages sent (0 resent), EEPROM 512 bytes written and 512 verified, 0 "
        "retries, |err:\nFlash: page 62 of 124 (50%), elapsed |11*err:\nFlash: page |!12*err:"
        "\nFlash: page |err:\nEEPROM verify: address 512 of 512 (100%), elapsed ",
        "image image", "pages_stored=124 pages_rejected=0 end_word=0x03FF eeprom_writes=512"},
    Row{"NmaS", "--type NmaS", "flash PORT FW --progress=json",
        kJsonComplete + R"(|out:"phase":"pages","page":126,"total":126)"
                        R"(|out:"phase":"eeprom-verify","address":512,"total":512)"
                        R"(|out:{"event":"box","title":"Programming complete","message":)"
                        R"("Flash and EEPROM Programming complete (0 retries).","answer":"ok",)"
                        R"("buttons":"ok"})"
                        R"(|!2*out:{"event":"box"|out:{"event":"status","level":"status",)"
                        R"("message":"Data from unit =  0024\r\n"}|out:{"event":"log",)"
                        R"("text":"Flashing complete. Awaiting soft reboot ..."})",
        "image image", "end_word=0xFFFF eeprom_writes=512"},
    Row{"BmaS", "--type BmaS", "flash PORT FW", "err:Programming 126 pages. 128 bytes/page.\n",
        "image image", "pages_stored=126 end_word=0x03FE"},
    Row{"EnbS", "--type EnbS", "flash PORT FW", "err:Programming 252 pages. 128 bytes/page.\n",
        "image image", "pages_stored=252 end_word=0x03FE eeprom_writes=1024"},
    Row{"XobS", "--type XobS", "flash PORT FW", "err:Programming 252 pages. 256 bytes/page.\n",
        "image image", "pages_stored=252 end_word=0xFFFF eeprom_writes=2048"},
    Row{"EEOnlyWithTheSizeGiven", "--type EnbS", "flash PORT FW --ee-only --ee-size EnbS", "",
        "before image", "boot_entries=0"},
    Row{"BadFirmwareFile", "", "flash PORT --file BAD =3", "err:error: Checksum error @ line 1",
        "before before", "bytes_from_host=0"},
    Row{"NoSuchDevice", "", "flash --port MISSING FW =4",
        "err:error: Could NOT Open COM1, error-103\n|err:error: No such file or directory\n"},
    Row{"FirmwareTooOldThenRescued", "--firmware 0022", "flash PORT FW --yes =5" + kRescue,
        "err:[Upgrade Requires Intervention] You must select the Rescue option\nfor Rev 0022 "
        "or lower firmware.\n",
        "image image", "boot_entries=0 eeprom_writes=0"},
    Row{"NoKnownIdentification", "--wrong-id alaR:100", "flash PORT FW --yes =6",
        "err:error: Invalid response >alaR\n|err:error: No answer from the bootloader\n",
        "before -", "pages_stored=0"},
    Row{"EepromAddressSkippedWithYes", kLower, "flash PORT FW --yes =8",
        "5*err:error: re-programmed address 000A.\n|!6*err:error: re-programmed address "
        "000A.\n|err:[EEPROM Program Error] addr = 000A, response = 000a  -> OK|err:error: "
        "EEPROM update incomplete.\n|out:\nEEPROM verifying\n",
        "- image"},
    Row{"RescueBoxWithNoOneToAnswer", "", "flash PORT FW --rescue =9",
        "err:[Rescue Requires a Temorary Jumper] |err:  -> Cancel", "- -", "boot_entries=0"},
    Row{"CtrlCAfterThePagesLeavesTheUnitOn", "", "flash PORT FW --progress=json",
        "out:Too late to abort: the EEPROM update runs to its end|" + kJsonComplete, "image image",
        "", 0, R"("phase":"restart")"},
    Row{"TerminalProgressLineAsksAgainThenCancel", kLower, "flash PORT FW TTY =9",
        "2*err:OK or Cancel? [o/c] |!3*err:OK or Cancel? [o/c] |err:[EEPROM Program Error]\r\n"
        "addr = 000A, response = 000a\r\n|!out:EEPROM verifying|err:\r\033[KFlash: page 0 of "
        "124 (0%), elapsed |err:\r\033[KFlash: page 62 of 124 (50%), elapsed |err:\r\033[K"
        "Flash: page 124 of 124 (100%), elapsed |err: left\r\033[K|err:\r\033[KFlashing "
        "complete. Awaiting soft reboot ...|2*err:\r\033[KRestart, elapsed "
        "|!out:\033|out:=!=0=!=1=",
        "image image<11", "", 0, nullptr, "maybe|c"},
    Row{"CtrlCInThePagesThenRescueRun", "", "flash PORT FW --yes --progress=json =7" + kRescue,
        R"(out:{"event":"end","outcome":"aborted","exit":7,|out:"message":"Flashing aborted )"
        R"(- the unit needs a Rescue re-flash"}|out:{"event":"status","level":"plain",)"
        R"("message":"Abort requested"})",
        "image image", "end_word=-1 eeprom_writes=0", 0, R"("phase":"pages","page":20,)"},
    Row{"PageFailedThenRescueRun", "--reject-page 30:30",
        "flash PORT FW --yes --progress=json =7" + kRescue,
        "out:Programming failed on page 30 - giving up; the unit needs a Rescue re-flash",
        "image image", "pages_rejected=30 pages_stored=30 eeprom_writes=0"},
    Row{"VanishedInThePagesThenReplugged", "--vanish-at page:40",
        "flash PORT FW --yes --progress=json =7;@replug;flash PORT FW --yes",
        R"(out:"outcome":"line-lost"|out:Lost contact with the unit)", "image image"},
    Row{"ReadEeAndBackupThenUpdateAndRestore", "--restart-ms 100",
        "read-ee PORT --out COPY --ee-size 512;" + kFlashBackup +
            ";flash PORT --file COPY --ee-only --ee-size 512",
        "", "- before", "", 512},
    Row{"FailedBackupStartsNoUpdate", "--ee-bad-read 100:always",
        kFlashBackup + " =10;read-ee PORT --out BACKUP --ee-size 512 =10", "", "before before",
        "boot_entries=0 eeprom_writes=0", -1},
    Row{"BackupRefusedWithRescueOrWithoutSize", "",
        kFlashBackup + " --rescue =2;read-ee PORT --out BACKUP =2;flash PORT FW --backup-ee "
                       "BACKUP =2",
        "", "- -", "", -1},
    refused("NoPortNoFile", "flash", "--port and --file are needed"),
    check("CheckSample", "SAMPLE",
          "out:501 lines in file -> \n|out:7424 bytes Flash code\n|out:512 bytes EEPROM data\n"
          "|err:Read file OK (501 lines)\n"),
    check("CheckOneLineOfNearlyTheWholeSize", "NEARLY", "err:@ line 1")};
const auto kRowName = [](const auto& info) { return std::string(info.param.name); };
INSTANTIATE_TEST_SUITE_P(EndToEnd, CommandLine, ::testing::ValuesIn(kRows), kRowName);

// Rows of the table run as the Windows program, under Wine, typed in cmd.exe
// (tests/win32/wine_cmd.sh; ctest's windows label sets where it is): a whole update, JSON
// events, a page that keeps failing and the rescue run after it, read-ee and the backup, a bad
// file, and check, each file named with a drive letter, backslashes, a blank and letters beyond
// ASCII, the exit status as %ERRORLEVEL% shows it. COM1 is the unit.
class WindowsProgram : public CommandLine {
  protected:
    // ONDO_WINDOWS: "WINE_CMD_SH|WORK|BIN_DIR", the runner, its Wine folder, the programs.
    WindowsProgram() {
        const char* set = std::getenv("ONDO_WINDOWS");
        if (set) windows = split(set, '|');
        if (windows.size() == 3) comLink = windows[1] + "/com1";
        if (windows.size() != 3) windows.clear();
    }
};

TEST_P(WindowsProgram, ExitSaysAndHolds) {
    if (windows.empty()) GTEST_SKIP() << "no Windows program to run (label windows sets it)";
    runRow();
}

std::vector<Row> rowsNamed(std::initializer_list<std::string_view> names) {
    std::vector<Row> rows;
    for (const Row& row : kRows)
        if (std::find(names.begin(), names.end(), row.name) != names.end()) rows.push_back(row);
    return rows;
}
INSTANTIATE_TEST_SUITE_P(Windows, WindowsProgram,
                         ::testing::ValuesIn(rowsNamed({"AlaR", "NmaS", "BadFirmwareFile",
                                                        "PageFailedThenRescueRun",
                                                        "ReadEeAndBackupThenUpdateAndRestore",
                                                        "CheckOneLineOfNearlyTheWholeSize"})),
                         kRowName);

// The station: several units at once, one port each. One row a case: the units' options, the
// station's words (FW, PORTS, LOG and DIR stand for the firmware, the units' lines, the log and
// a backup folder; TTY runs it on a terminal), steps taken as its output grows, its exit status,
// what it says (as Row::says; Un stands for unit n's line) and what the log says of each unit's
// runs. Every run the log calls complete must have left its unit holding the image, whose
// hashes the log must give; with DIR every run's backup must hold the unit's old EEPROM.
struct StationRow {
    const char* name;
    std::string units;  // each unit's options, ';' between: one port each
    std::string args;
    int exit = 0;
    std::string says = "";
    std::string results = "";  // each unit's results, in turn, '+' between runs, ' ' between units
    std::string script = "";   // "TEXT>ACTION ..." steps, ';' between: int (a Ctrl-C), uN:command
};
void PrintTo(const StationRow& row, std::ostream* out) {
    *out << row.name;
}

class Station : public ::testing::TestWithParam<StationRow> {};

TEST_P(Station, UpdatesEachUnitAndLogsIt) {
    const StationRow& row = GetParam();
    TempFolder folder;
    writeFile(folder.file("owner"), std::string(kOwner.begin(), kOwner.end()));
    std::vector<std::unique_ptr<SimProcess>> units;
    std::vector<std::string> paths;
    std::string links, says = row.says;
    for (const std::string& options : split(row.units, ';')) {
        std::istringstream words("--ee-init " + folder.file("owner") + " " + options);
        units.push_back(std::make_unique<SimProcess>(
            std::vector<std::string>{std::istream_iterator<std::string>(words), {}}));
        ASSERT_TRUE(units.back()->started()) << units.back()->error();
        paths.push_back(units.back()->linkPath());
        links += (links.empty() ? "" : ",") + paths.back();
        const std::string mark = "U" + std::to_string(units.size() - 1);
        for (auto at = says.find(mark); at != says.npos; at = says.find(mark))
            says.replace(at, mark.size(), paths.back());
    }
    Child child;
    std::istringstream in("station " + row.args);
    const std::map<std::string, std::vector<std::string>> words = {
        {"PORTS", {"--ports", links}},
        {"LOG", {"--log", folder.file("log")}},
        {"DIR", {"--backup-dir", folder.file("dir")}}};
    std::filesystem::create_directories(folder.file("dir"));
    for (std::string w; in >> w;) {
        child.onTerminal = child.onTerminal || w == "TTY";
        if (w == "FW") child.args.push_back("--file");
        if (words.contains(w))
            child.args.insert(child.args.end(), words.at(w).begin(), words.at(w).end());
        const bool named = w.size() > 1 && std::all_of(w.begin(), w.end(), ::isupper);
        if (named && !words.contains(w) && w != "TTY") writeNamed(w, folder.file(w));
        if (!words.contains(w) && w != "TTY") child.args.push_back(named ? folder.file(w) : w);
    }
    const auto steps = split(row.script, ';');
    std::size_t step = 0;
    child.onOutput = [&](pid_t pid, const std::string& out) {
        for (; step < steps.size(); ++step) {
            std::string text = steps[step].substr(0, steps[step].find('>'));
            const int times = std::isdigit(text[0]) ? std::stoi(text) : 1;
            if (std::isdigit(text[0])) text.erase(0, text.find('*') + 1);
            if (occurrences(out, text) < times) return;
            for (const std::string& act : split(steps[step].substr(steps[step].find('>') + 1), ' '))
                EXPECT_TRUE(act == "int" ? ::kill(-pid, SIGINT) == 0
                                         : units.at(act[1] - '0')->control(act.substr(3)));
        }
    };
    const RunResult r = child.run();
    EXPECT_FALSE(r.hung) << r.err;
    EXPECT_EQ(r.exitCode, row.exit) << r.err;
    EXPECT_EQ(step, steps.size()) << r.out;
    expectSays(says, r);
    std::vector<std::string> results(units.size());
    for (const std::string& line : split(readFile(folder.file("log")), '\n')) {
        const QJsonObject run = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        const auto port = run["port"].toString().toStdString();
        const auto u =
            static_cast<std::size_t>(std::find(paths.begin(), paths.end(), port) - paths.begin());
        ASSERT_LT(u, units.size()) << line;
        results[u] += (results[u].empty() ? "" : "+") + run["result"].toString().toStdString();
        EXPECT_TRUE(QDateTime::fromString(run["end"].toString(), Qt::ISODate).isValid()) << line;
        if (row.args.find("DIR") != std::string::npos) {
            FirmwareImage backup, want;
            const std::string path = run["backup"].toString().toStdString();
            EXPECT_FALSE(readHxfText(readFile(path), backup).failed()) << line;
            std::copy_n(kOwner.begin(), 512, want.EEimage.begin());
            EXPECT_EQ(backup.EEimage, want.EEimage) << path;
            EXPECT_NE(path.find("_link-"), std::string::npos) << "a safe form of the device path";
        }
        if (run["result"] != "complete") continue;
        ASSERT_TRUE(units[u]->control("dump"));
        EXPECT_EQ(run["code_sha256"].toString().toStdString(), sha256(units[u]->flash()));
        EXPECT_EQ(run["eeprom_sha256"].toString().toStdString(), sha256(units[u]->eeprom()));
        expectHolds("image", units[u]->flash(), kFlash, {});
        expectHolds("image", units[u]->eeprom(), kEeprom, kOwner);
    }
    std::string all;
    for (const std::string& unit : results) all += (all.empty() ? "" : " ") + unit;
    EXPECT_EQ(all, row.results);
}

StationRow refusedStation(const char* name, const std::string& args, const std::string& error,
                          int exit = 2) {
    return {name, "", args, exit,
            "err:error: " + error + (exit == 2 ? "|err:See: ondo-flash" : "")};
}

const std::string kLoopJson = "FW PORTS LOG --loop --progress=json";

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, Station,
    ::testing::Values(
        StationRow{"ThreeTypesWithBackups", "--type AlaR;--type NmaS;--type EnbS",
                   "FW PORTS LOG DIR --ee-size 512", 0,
                   "err:U0: Programming 124 pages. 64 bytes/page.\n|out:U1: Flashing complete. "
                   "Awaiting soft reboot ...\n|err:U2: Update report: unit EnbS, firmware 0024 "
                   "-> 0024, 252 pages sent|err:Station: 3 units, 3 complete, 0 failed; exit "
                   "status 0\n",
                   "complete complete complete"},
        StationRow{"OnePageKeepsFailing",
                   "--type AlaR;--type NmaS --reject-page 17:always;--type EnbS",
                   "FW PORTS LOG TTY", 7,
                   "err:U1  NmaS  page-failed (exit 7): Programming failed on page 17 - giving "
                   "up;|err:\r\033[KU2  EnbS  complete (exit 0)\r\n|err:\033[3A\r\033[KU0  AlaR  ",
                   "complete page-failed complete"},
        StationRow{"OneUnpluggedMidUpdate", "--type AlaR;--vanish-at page:40;--type NmaS",
                   "FW PORTS LOG --progress=json", 7,
                   R"(out:"outcome":"line-lost"|out:"port":"U1"}|out:{"event":"station-end",)"
                   R"("runs":3,"exit":7})",
                   "complete line-lost complete"},
        StationRow{"LoopTakesTheNextUnit", "--type AlaR", kLoopJson, 0,
                   R"(out:{"event":"waiting","port":"U0","done":3})", "complete+complete+complete",
                   R"("event":"waiting">u0:unplug u0:replug;2*"event":"waiting">u0:power;)"
                   R"(3*"event":"waiting">int)"},
        StationRow{"FirstCtrlCLetsTheRunsFinish", "--type AlaR;--type NmaS", kLoopJson, 0,
                   R"(!out:"event":"waiting"|out:Stopping: the updates running finish)",
                   "complete complete", R"("event":"unit">int)"},
        StationRow{"SecondCtrlCAbortsThem", "--pace;--pace --type NmaS", kLoopJson, 7,
                   R"(2*out:"outcome":"aborted","exit":7)", "aborted aborted",
                   R"(2*"page":5,"total">int;Stopping>int)"},
        refusedStation("PortNamedTwice", "FW --ports COM3,com3", "com3 and COM3 are the same port"),
        refusedStation("UnknownPort", "FW --ports COM3,LPT1", "unknown port 'LPT1'"),
        refusedStation("NoPorts", "FW", "--file and --ports are needed"),
        refusedStation("BackupDirWithoutSize", "FW --ports COM3 DIR",
                       "--backup-dir needs --ee-size"),
        refusedStation("BackupDirMissing", "FW --ports COM3 --backup-dir MISSING --ee-size 512",
                       "the backup folder "),
        refusedStation("InvalidFirmware", "--file BAD --ports COM3",
                       "no valid firmware file: ", 3)),
    [](const auto& info) { return std::string(info.param.name); });

// The port list through the port map: each device with whether it opens, and a USB adapter's
// latency timer (read from a stand-in of the system's sysfs tree, the device reached through a
// by-id link) with a hint above 1 ms naming the file to change; flash uses the map.
TEST(PortsCommand, ListsTheMappedDevicesAndFlashUsesTheMap) {
    TempFolder home;
    Line free;
    const std::string missing = home.file("no-such-tty"), link = home.file("by-id/usb-FTDI");
    const std::string timer = home.file("sys/bus/usb-serial/devices/ttyUSB42/latency_timer");
    writeFile(home.file("dev/ttyUSB42"), "");
    writeFile(timer, "16\n");
    std::filesystem::create_directories(home.file("by-id"));
    std::filesystem::create_symlink("../dev/ttyUSB42", link);
    writeFile(home.file("config/Ondo/FLASH.conf"),
              "[Ports]\nCOM2=" + free.slavePath() + "\nCOM5=" + missing + "\nCOM8=" + link + "\n");
    ::setenv("ONDO_SYSFS_ROOT", home.file("sys").c_str(), 1);
    Child ports, flash;
    ports.args = {"ports"};
    flash.args = {"flash", "--port", "com5", "--file", ONDO_SAMPLES_DIR "/demo-AlaR.HXF"};
    ports.home = flash.home = home.path();
    const RunResult r = ports.run(), opened = flash.run();
    ::unsetenv("ONDO_SYSFS_ROOT");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto lines = split(r.out, '\n');
    ASSERT_EQ(lines.size(), 10u) << r.out;
    EXPECT_EQ(lines[1], "COM2  " + free.slavePath() + "  available");
    EXPECT_EQ(lines[2].rfind("COM3  /dev/ttyUSB0  ", 0), 0u) << "unmapped names keep defaults";
    EXPECT_EQ(lines[4], "COM5  " + missing + "  not available: " + std::strerror(ENOENT));
    EXPECT_EQ(lines[7], "COM8  " + link + "  not available: " + std::strerror(ENOTTY) +
                            "  latency timer 16 ms");
    EXPECT_EQ(lines[8],
              "  hint: the adapter holds received bytes up to 16 ms, slowing an update; "
              "ondo-flash asks its driver for 1 ms while it has the port open; to make "
              "1 ms the default, as root: echo 1 > " +
                  timer);
    EXPECT_EQ(opened.exitCode, 4) << opened.err;
    EXPECT_NE(opened.err.find("error: Could NOT Open COM5, error-103\n"), std::string::npos);
}

}  // namespace
}  // namespace ondo::testing
