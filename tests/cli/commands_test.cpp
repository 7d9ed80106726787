// The check and ports commands, and the help of every command.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/cli_fixture.h"
#include "support/pty.h"

namespace ondo::testing {
namespace {

CliResult runCommand(std::vector<std::string> args, const std::string& home = {}) {
    CliRun run;
    run.args = std::move(args);
    run.home = home;
    CliResult r = run.run();
    EXPECT_FALSE(r.hung);
    return r;
}

// --- check ------------------------------------------------------------------------------------

TEST(Check, AGoodFileIsReportedOnStandardOutputAndExitsZero) {
    const CliResult r = runCommand({"check", samplePath()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "501 lines in file -> \n" + samplePath() + "\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "7424 bytes Flash code\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "512 bytes EEPROM data\n")) << r.out;
    EXPECT_TRUE(contains(r.err, "Read file OK (501 lines)\n")) << r.err;
    EXPECT_FALSE(contains(r.err, "error"));
}

TEST(Check, ABadFileGivesItsErrorOnStandardErrorAndExitsThree) {
    TempFolder folder;
    const std::string bad = folder.file("bad.HXF");
    // The second record's address field is not hexadecimal.
    writeFile(bad, "C:0100000055AA\r\nC:01zz00000000\r\n");
    const CliResult r = runCommand({"check", bad});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_TRUE(contains(r.err, "error: ")) << r.err;
    EXPECT_TRUE(contains(r.err, "line 2")) << r.err;
    EXPECT_FALSE(contains(r.err, "Read file OK"));
    EXPECT_FALSE(contains(r.out, "bytes Flash code")) << r.out;
}

TEST(Check, AMissingFileExitsThree) {
    TempFolder folder;
    const CliResult r = runCommand({"check", folder.file("none.HXF")});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(contains(r.err, "error: No File " + folder.file("none.HXF"))) << r.err;
}

// --- ports ------------------------------------------------------------------------------------

// The line of `ports` for one COM name.
std::string portLine(const std::string& out, const std::string& com) {
    for (const std::string& line : CliResult{0, false, out, {}, {}}.outLines()) {
        if (line.rfind(com + "  ", 0) == 0) return line;
    }
    return {};
}

TEST(Ports, ListsTheMappedDevicesWithWhetherTheyOpen) {
    TempFolder home;
    Pty free;
    Pty held;
    ASSERT_TRUE(free.ok() && held.ok());
    // Another program holds this one, with the lock every serial program takes.
    const int holder = ::open(held.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    const std::string missing = home.file("no-such-tty");
    writeFile(home.file("config/Ondo/FLASH.conf"), "[Ports]\nCOM2=" + free.slavePath() +
                                                       "\nCOM5=" + missing +
                                                       "\nCOM7=" + held.slavePath() + "\n");
    const CliResult r = runCommand({"ports"}, home.path());
    ::close(holder);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(portLine(r.out, "COM2"), "COM2  " + free.slavePath() + "  available") << r.out;
    EXPECT_EQ(portLine(r.out, "COM5"),
              "COM5  " + missing + "  not available: " + std::strerror(ENOENT))
        << r.out;
    EXPECT_EQ(portLine(r.out, "COM7"),
              "COM7  " + held.slavePath() + "  not available: " + std::strerror(EBUSY))
        << r.out;
    // Names the store does not map keep their defaults.
    EXPECT_TRUE(contains(portLine(r.out, "COM3"), "COM3  /dev/ttyUSB0  ")) << r.out;
    EXPECT_EQ(r.outLines().size(), 9u) << r.out;
}

TEST(Ports, AMappedPortIsWhatFlashOpens) {
    // The same map takes the flash command's COM name to the device.
    TempFolder home;
    const std::string missing = home.file("no-such-tty");
    writeFile(home.file("config/Ondo/FLASH.conf"), "[Ports]\nCOM4=" + missing + "\n");
    const CliResult r =
        runCommand({"flash", "--port", "com4", "--file", samplePath()}, home.path());
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_TRUE(contains(r.err, "error: Could NOT Open COM4, error-103\n")) << r.err;
    EXPECT_TRUE(contains(r.err, std::string("error: ") + std::strerror(ENOENT))) << r.err;
}

// --- help -------------------------------------------------------------------------------------

struct HelpCase {
    const char* command;
    std::vector<std::string> names;  // what the help must name
};

void PrintTo(const HelpCase& h, std::ostream* out) {
    *out << h.command;
}

class Help : public ::testing::TestWithParam<HelpCase> {};

TEST_P(Help, ExitsZeroAndNamesTheOptions) {
    for (const char* flag : {"--help", "-h"}) {
        const CliResult r = runCommand({GetParam().command, flag});
        EXPECT_EQ(r.exitCode, 0) << flag;
        EXPECT_EQ(r.out.rfind(std::string("Usage: ondo-flash ") + GetParam().command, 0), 0u)
            << r.out;
        for (const std::string& name : GetParam().names) {
            EXPECT_TRUE(contains(r.out, name)) << flag << " does not name " << name << ":\n"
                                               << r.out;
        }
        EXPECT_EQ(r.err, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, Help,
    ::testing::Values(HelpCase{"flash",
                               {"--port <port>", "--file <file>", "--ee-only", "--flash-only",
                                "--rescue", "--yes", "--progress <format>", "--demo",
                                "--sim-args <options>", "--help", "Exit status:", "  7  flash",
                                "  9  cancelled"}},
                      HelpCase{"check", {"file", "The firmware file (.HXF).", "--help"}},
                      HelpCase{"ports", {"COM1 to COM9", "--help"}}),
    [](const auto& info) { return std::string(info.param.command); });

TEST(ProgramHelp, NamesEveryCommand) {
    const CliResult r = runCommand({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* line :
         {"ondo-flash flash --port COM3 --file FW.HXF", "ondo-flash check FW.HXF",
          "ondo-flash ports", "--demo [--sim-args OPTIONS]"}) {
        EXPECT_TRUE(contains(r.out, line)) << line << " missing from:\n" << r.out;
    }
}

}  // namespace
}  // namespace ondo::testing
