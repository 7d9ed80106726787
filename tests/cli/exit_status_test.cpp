// Each documented exit status, reached by a real cause: the arguments, the file, the port, the
// unit's firmware, its bootloader, its pages, its EEPROM, the user's answers and Ctrl-C.

#include <signal.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "cli/cli_fixture.h"

namespace ondo::testing {
namespace {

// --- 2: bad arguments -------------------------------------------------------------------------

struct BadArguments {
    const char* name;
    std::vector<std::string> args;
    const char* error;  // what standard error says is wrong
};

void PrintTo(const BadArguments& b, std::ostream* out) {
    *out << b.name;
}

class RefusedArguments : public ::testing::TestWithParam<BadArguments> {};

TEST_P(RefusedArguments, ExitTwoNamingTheProblemWithNothingRun) {
    CliRun run;
    run.args = GetParam().args;
    const CliResult r = run.run();
    ASSERT_FALSE(r.hung);
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_TRUE(contains(r.err, std::string("error: ") + GetParam().error)) << r.err;
    EXPECT_TRUE(contains(r.err, "See: ondo-flash ")) << r.err;
    EXPECT_EQ(r.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Flash, RefusedArguments,
    ::testing::Values(
        BadArguments{"NoPortNoFile", {"flash"}, "--port and --file are needed"},
        BadArguments{"NoFile", {"flash", "--port", "COM3"}, "--port and --file are needed"},
        BadArguments{"UnknownOption", {"flash", "--demo", "--force"}, "Unknown option 'force'"},
        BadArguments{"BothOnlies",
                     {"flash", "--demo", "--ee-only", "--flash-only"},
                     "--ee-only and --flash-only exclude each other"},
        BadArguments{"EEOnlyRescue",
                     {"flash", "--demo", "--ee-only", "--rescue"},
                     "--ee-only and --rescue exclude each other"},
        BadArguments{"ProgressFormat",
                     {"flash", "--demo", "--progress=xml"},
                     "--progress takes text or json"},
        BadArguments{"NotAPort",
                     {"flash", "--port", "LPT1", "--file", "FW.HXF"},
                     "--port takes COM1 to COM9 or a device path"},
        BadArguments{"PortTen",
                     {"flash", "--port", "COM10", "--file", "FW.HXF"},
                     "--port takes COM1 to COM9 or a device path"},
        BadArguments{"SimArgsWithoutDemo",
                     {"flash", "--port", "COM1", "--file", "FW.HXF", "--sim-args", "--silent"},
                     "--sim-args goes with --demo"},
        BadArguments{
            "DemoWithPort", {"flash", "--demo", "--port", "COM3"}, "--demo brings its own port"},
        BadArguments{"StrayFile", {"flash", "--demo", "FW.HXF"}, "flash takes no file"},
        BadArguments{"CheckWithoutFile", {"check"}, "check takes one file"},
        BadArguments{"PortsWithArgument", {"ports", "COM1"}, "ports takes no arguments"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- 3 to 9: the run itself --------------------------------------------------------------------

class ExitStatus : public DemoRun {};

TEST_F(ExitStatus, ThreeForAFirmwareFileWithABadChecksumAndNothingIsSent) {
    const std::string bad = folder.file("bad.HXF");
    writeFile(bad, "C:0100000055AB\r\nE:01001000A54A\r\n");
    const CliResult r = flash({"--file", bad});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_TRUE(contains(r.err, "error: Checksum error @ line 1")) << r.err;
    EXPECT_EQ(stat("bytes_from_host"), 0) << "the port is not even opened";
}

TEST_F(ExitStatus, ThreeForAFirmwareFileThatIsNotThere) {
    const std::string missing = folder.file("missing.HXF");
    const CliResult r = flash({"--file", missing});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_TRUE(contains(r.err, "error: No File " + missing)) << r.err;
}

TEST_F(ExitStatus, FourForADevicePathThatDoesNotExist) {
    CliRun run;
    const std::string device = folder.file("no-such-tty");
    run.args = {"flash", "--port", device, "--file", samplePath()};
    const CliResult r = run.run();
    ASSERT_FALSE(r.hung);
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_TRUE(contains(r.err, "error: Could NOT Open COM1, error-103\n")) << r.err;
    EXPECT_TRUE(contains(r.err, "error: No such file or directory\n")) << r.err;
}

TEST_F(ExitStatus, FiveForAUnitThatNeverAnswers) {
    const CliResult r = flash({"--yes"}, "--silent");
    EXPECT_EQ(r.exitCode, 5) << r.err;
    EXPECT_TRUE(contains(r.err,
                         "[Upgrade Requires Intervention] No Comms? Check for correct COM "
                         "Port and wiring, etc.\n"))
        << r.err;
    EXPECT_EQ(stat("boot_entries"), 0);
}

TEST_F(ExitStatus, FiveForFirmwareTooOldForTheCommandEntry) {
    const CliResult r = flash({"--yes"}, "--version 0022");
    EXPECT_EQ(r.exitCode, 5) << r.err;
    EXPECT_TRUE(contains(r.err,
                         "[Upgrade Requires Intervention] You must select the Rescue "
                         "option\nfor Rev 0022 or lower firmware.\n"))
        << r.err;
    EXPECT_EQ(stat("boot_entries"), 0);
    expectFlashErased();
}

TEST_F(ExitStatus, SixWhenTheBootloaderNeverGivesAKnownIdentification) {
    // The bootloader announces itself a hundred times with a wrong identification, so the
    // hundred reads the wait allows end without one it knows. (A unit that sends the prompt
    // without any identification ends the same way, but only after every read has timed out,
    // close to two minutes.)
    const CliResult r = flash({"--yes"}, "--wrong-id alaR:100");
    EXPECT_EQ(r.exitCode, 6) << r.err;
    EXPECT_TRUE(contains(r.err, "error: Invalid response >alaR\n")) << r.err;
    EXPECT_TRUE(contains(r.err, "error: No answer from the bootloader\n")) << r.err;
    EXPECT_EQ(stat("pages_stored"), 0);
    expectFlashErased();
}

TEST_F(ExitStatus, SevenWhenAPageKeepsFailing) {
    const CliResult r = flash({"--yes"}, "--reject-page 17:always");
    EXPECT_EQ(r.exitCode, 7) << r.err;
    EXPECT_TRUE(contains(r.err,
                         "error: Programming failed on page 17 - giving up; the unit "
                         "needs a Rescue re-flash\n"))
        << r.err;
    expectFlashIsSample(0, 17 * kAlaRPageSize);
    expectFlashErased(17 * kAlaRPageSize);
    EXPECT_EQ(stat("eeprom_writes"), 0);
}

TEST_F(ExitStatus, NineWhenAnEepromErrorBoxHasNoOneToAnswerIt) {
    // Address 000A is written but confirmed in lower case, so each of its attempts fails. With
    // no terminal and no --yes the box is answered Cancel: the update stops there.
    const CliResult r = flash({}, "--ee-lower 0x000A");
    EXPECT_EQ(r.exitCode, 9) << r.err;
    EXPECT_TRUE(contains(r.err, "[EEPROM Program Error] addr = 000A, response = 000a  -> Cancel"))
        << r.err;
    EXPECT_FALSE(contains(r.out, "EEPROM verifying"));
    expectFlashIsSample();
    expectEepromIsSample(0, 11);
    expectEepromErased(11);
}

TEST_F(ExitStatus, EightWhenYesSkipsAnEepromAddressThatKeepsFailing) {
    const CliResult r = flash({"--yes"}, "--ee-lower 0x000A");
    EXPECT_EQ(r.exitCode, 8) << r.err;
    EXPECT_EQ(occurrences(r.err, "error: re-programmed address 000A.\n"), 5) << r.err;
    EXPECT_TRUE(contains(r.err, "[EEPROM Program Error] addr = 000A, response = 000a  -> OK"));
    EXPECT_TRUE(contains(r.err, "error: EEPROM update incomplete.\n")) << r.err;
    EXPECT_TRUE(contains(r.out, "\nEEPROM verifying\n"));
    // The skipped address was written all the same (only its confirmation was wrong).
    expectEepromIsSample();
}

TEST_F(ExitStatus, NineWhenTheRescueBoxHasNoOneToAnswerIt) {
    const CliResult r = flash({"--rescue"});
    EXPECT_EQ(r.exitCode, 9) << r.err;
    EXPECT_TRUE(contains(r.err, "[Rescue Requires a Temorary Jumper] ")) << r.err;
    EXPECT_TRUE(contains(r.err, "  -> Cancel")) << r.err;
    EXPECT_EQ(stat("boot_entries"), 0);
}

TEST_F(ExitStatus, SevenWhenCtrlCInterruptsThePages) {
    // The line runs at its real rate, so the pages take seconds. At page 5 the whole process
    // group gets SIGINT, as from a Ctrl-C at the terminal: the simulated unit must not be hit.
    CliRun run = demoRun({"--progress=json"}, "--pace");
    bool sent = false;
    run.onOutput = [&sent](pid_t pid, const std::string& out) {
        if (!sent && contains(out, R"("phase":"pages","page":5,)")) {
            sent = true;
            ::kill(-pid, SIGINT);
        }
    };
    const CliResult r = run.run();
    ASSERT_FALSE(r.hung);
    ASSERT_TRUE(sent) << r.out;
    EXPECT_EQ(r.exitCode, 7) << r.out;
    const auto lines = r.outLines();
    ASSERT_FALSE(lines.empty());
    const QJsonObject end =
        QJsonDocument::fromJson(QByteArray::fromStdString(lines.back())).object();
    EXPECT_EQ(text(end["event"]), "end");
    EXPECT_EQ(text(end["outcome"]), "aborted");
    EXPECT_EQ(end["exit"].toInt(-1), 7);
    EXPECT_EQ(text(end["message"]), "Flashing aborted - the unit needs a Rescue re-flash");
    EXPECT_TRUE(
        contains(r.out, R"({"event":"status","level":"plain","message":"Abort requested"})"));
    EXPECT_GE(stat("pages_stored"), 5);
    EXPECT_LT(stat("pages_stored"), 124);
    EXPECT_EQ(stat("eeprom_writes"), 0);
}

TEST_F(ExitStatus, ZeroWhenCtrlCComesAfterThePagesAndTheUnitStaysOn) {
    // Once the pages are done the update runs to its end, as in the window. The Ctrl-C goes to
    // the whole process group during the restart wait: the simulated unit, started by the
    // utility, must not be switched off by it, or the EEPROM update would find no unit.
    CliRun run = demoRun({"--progress=json"});
    bool sent = false;
    run.onOutput = [&sent](pid_t pid, const std::string& out) {
        if (!sent && contains(out, R"("phase":"restart")")) {
            sent = true;
            ::kill(-pid, SIGINT);
        }
    };
    const CliResult r = run.run();
    ASSERT_FALSE(r.hung);
    ASSERT_TRUE(sent) << r.out;
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "Too late to abort: the EEPROM update runs to its end")) << r.out;
    expectFlashIsSample();
    expectEepromIsSample();
}

}  // namespace
}  // namespace ondo::testing
