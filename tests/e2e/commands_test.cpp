// The other commands of the program: check (also of files far too large, in bounded memory),
// ports through the port map, bad arguments and help.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "support/line.h"
#include "support/run.h"

namespace ondo::testing {
namespace {

RunResult program(std::vector<std::string> args, const std::string& home = {}) {
    Child run;
    run.args = std::move(args);
    run.home = home;
    RunResult r = run.run();
    EXPECT_FALSE(r.hung);
    return r;
}

struct Check {
    const char* name;
    std::function<void(std::ofstream&)> write;  // the file's content
    int exit;
    std::vector<std::string> says;  // on standard error ("out:" first: on standard output)
};
void PrintTo(const Check& c, std::ostream* out) {
    *out << c.name;
}
class CheckCommand : public ::testing::TestWithParam<Check> {};

TEST_P(CheckCommand, ReportsAndStaysInBoundedMemory) {
    static long smallFileKb = 0;  // a small file's peak: the baseline a huge one is held to
    TempFolder folder;
    const std::string small = folder.file("small.HXF"), file = folder.file("fw.HXF");
    writeFile(small, "C:0100000055AA\r\n");
    if (!smallFileKb) smallFileKb = program({"check", small}).peakKb;
    if (GetParam().write) {
        std::ofstream out(file, std::ios::binary);
        GetParam().write(out);
    }
    const RunResult r = program({"check", GetParam().write ? file : folder.file("none.HXF")});
    EXPECT_EQ(r.exitCode, GetParam().exit) << r.err;
    for (std::string text : GetParam().says) {
        if (const auto at = text.find("%f"); at != std::string::npos) text.replace(at, 2, file);
        const bool out = text.rfind("out:", 0) == 0;
        EXPECT_NE((out ? r.out : r.err).find(out ? text.substr(4) : text), std::string::npos)
            << text << " in:\n"
            << r.out << r.err;
    }
    EXPECT_LT(r.peakKb, smallFileKb + 8 * 1024) << "reading a file costs buffers, never the file";
    std::printf("[ figures  ] %s: peak RSS %ld kB (small file %ld kB)\n", GetParam().name, r.peakKb,
                smallFileKb);
}

const std::string kTooLarge = "error: Flash file too large (over 1048576 bytes)";
INSTANTIATE_TEST_SUITE_P(
    EndToEnd, CheckCommand,
    ::testing::Values(
        Check{"Sample",
              [](auto& o) { o << std::ifstream(ONDO_SAMPLES_DIR "/demo-AlaR.HXF").rdbuf(); },
              0,
              {"out:501 lines in file -> \n%f\n", "out:7424 bytes Flash code\n",
               "out:512 bytes EEPROM data\n", "Read file OK (501 lines)\n"}},
        Check{"NonHexAddressOnLine2",
              [](auto& o) { o << "C:0100000055AA\r\nC:01zz00000000\r\n"; },
              3,
              {"error: Address out of range @ line 2"}},
        Check{"MissingFile", nullptr, 3, {"error: No File "}},
        Check{"FiftyMegabytes",
              [](auto& o) {
                  for (int i = 0; i < 50 * 1024 * 1024 / 46 + 1; ++i)
                      o << "C:10000000000102030405060708090A0B0C0D0E0F78\r\n";
              },
              3,
              {kTooLarge}},
        Check{"OneTenMegabyteLine",
              [](auto& o) { o << "C:" << std::string(10 << 20, 'A'); },
              3,
              {kTooLarge}},
        Check{"OneLineOfNearlyTheWholeSize",
              [](auto& o) { o << "C:" << std::string((1 << 20) - 100, 'A') << "\r\n"; },
              3,
              {"@ line 1"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PortsCommand, ListsTheMappedDevicesWithWhetherTheyOpenAndFlashUsesTheMap) {
    TempFolder home;
    Line free, held;
    const int holder = ::open(held.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);  // another program holds this one
    const std::string missing = home.file("no-such-tty");
    writeFile(home.file("config/Ondo/FLASH.conf"), "[Ports]\nCOM2=" + free.slavePath() +
                                                       "\nCOM5=" + missing +
                                                       "\nCOM7=" + held.slavePath() + "\n");
    const RunResult r = program({"ports"}, home.path());
    ::close(holder);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto lines = r.outLines();
    ASSERT_EQ(lines.size(), 9u) << r.out;
    EXPECT_EQ(lines[1], "COM2  " + free.slavePath() + "  available");
    EXPECT_EQ(lines[2].rfind("COM3  /dev/ttyUSB0  ", 0), 0u) << "unmapped names keep defaults";
    EXPECT_EQ(lines[4], "COM5  " + missing + "  not available: " + std::strerror(ENOENT));
    EXPECT_EQ(lines[6], "COM7  " + held.slavePath() + "  not available: " + std::strerror(EBUSY));
    const RunResult flash = program(
        {"flash", "--port", "com5", "--file", ONDO_SAMPLES_DIR "/demo-AlaR.HXF"}, home.path());
    EXPECT_EQ(flash.exitCode, 4) << flash.err;
    EXPECT_NE(flash.err.find("error: Could NOT Open COM5, error-103\n"), std::string::npos);
}

// A USB adapter's latency timer, read from a stand-in of the system's sysfs tree: its value after
// the port's state, and a hint above 1 ms naming the file to change.
struct Timer {
    const char* name;
    bool byIdLink;     // COM2 maps a /dev/serial/by-id link, not the device itself
    const char* file;  // the latency_timer file's content; nullptr: no such file
    std::string suffix, hint;
};
void PrintTo(const Timer& t, std::ostream* out) {
    *out << t.name;
}
class PortsLatencyTimer : public ::testing::TestWithParam<Timer> {};

TEST_P(PortsLatencyTimer, ShowsTheValueAndAHintAboveOneMillisecond) {
    const Timer& c = GetParam();
    TempFolder root;
    namespace fs = std::filesystem;
    fs::create_directories(root.file("dev/serial/by-id"));
    writeFile(root.file("dev/ttyUSB42"), "");
    const std::string link = root.file("dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
    fs::create_symlink("../../ttyUSB42", link);
    const std::string timer = root.file("sys/bus/usb-serial/devices/ttyUSB42/latency_timer");
    fs::create_directories(fs::path(timer).parent_path());
    if (c.file) writeFile(timer, c.file);
    const std::string device = c.byIdLink ? link : root.file("dev/ttyUSB42");
    writeFile(root.file("home/config/Ondo/FLASH.conf"), "[Ports]\nCOM2=" + device + "\n");
    ::setenv("ONDO_SYSFS_ROOT", root.file("sys").c_str(), 1);
    const RunResult r = program({"ports"}, root.file("home"));
    ::unsetenv("ONDO_SYSFS_ROOT");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = r.outLines();
    ASSERT_GE(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[1], "COM2  " + device + "  " + c.suffix);
    if (c.hint.empty()) {
        EXPECT_EQ(lines[2].rfind("COM3  ", 0), 0u) << r.out;
    } else {
        EXPECT_EQ(lines[2], "  " + c.hint + timer);
    }
}

const std::string kNoIoctl = "not available: Inappropriate ioctl for device";
const std::string kHint16 =
    "hint: the adapter holds received bytes up to 16 ms, slowing an update; ondo-flash asks its "
    "driver for 1 ms while it has the port open; to make 1 ms the default, as root: echo 1 > ";
INSTANTIATE_TEST_SUITE_P(
    Cli, PortsLatencyTimer,
    ::testing::Values(Timer{"SixteenThroughAByIdLink", true, "16\n",
                            kNoIoctl + "  latency timer 16 ms", kHint16},
                      Timer{"SixteenOnTheDeviceItself", false, "16\n",
                            kNoIoctl + "  latency timer 16 ms", kHint16},
                      Timer{"OneNeedsNoHint", true, "1\n", kNoIoctl + "  latency timer 1 ms", ""},
                      Timer{"NoTimerLeavesTheLineAlone", true, nullptr, kNoIoctl, ""},
                      Timer{"UnreadableTimerIsNotShown", true, "n/a\n", kNoIoctl, ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct Refusal {
    const char* name;
    std::vector<std::string> args;
    const char* error;
};
void PrintTo(const Refusal& r, std::ostream* out) {
    *out << r.name;
}
class RefusedArguments : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusedArguments, ExitTwoNamingTheProblemWithNothingRun) {
    const RunResult r = program(GetParam().args);
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.err.find(std::string("error: ") + GetParam().error), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("See: ondo-flash "), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, RefusedArguments,
    ::testing::Values(
        Refusal{"NoPortNoFile", {"flash"}, "--port and --file are needed"},
        Refusal{"NoFile", {"flash", "--port", "COM3"}, "--port and --file are needed"},
        Refusal{"UnknownOption", {"flash", "--demo", "--force"}, "Unknown option 'force'"},
        Refusal{"BothOnlies",
                {"flash", "--demo", "--ee-only", "--flash-only"},
                "--ee-only and --flash-only exclude each other"},
        Refusal{"EEOnlyRescue",
                {"flash", "--demo", "--ee-only", "--rescue"},
                "--ee-only and --rescue exclude each other"},
        Refusal{"ProgressFormat",
                {"flash", "--demo", "--progress=xml"},
                "--progress takes text or json"},
        Refusal{"NotAPort",
                {"flash", "--port", "LPT1", "--file", "FW.HXF"},
                "--port takes COM1 to COM9 or a device path"},
        Refusal{"PortTen",
                {"flash", "--port", "COM10", "--file", "FW.HXF"},
                "--port takes COM1 to COM9 or a device path"},
        Refusal{"SimArgsWithoutDemo",
                {"flash", "--port", "COM1", "--file", "FW.HXF", "--sim-args", "--silent"},
                "--sim-args goes with --demo"},
        Refusal{
            "DemoWithPort", {"flash", "--demo", "--port", "COM3"}, "--demo brings its own port"},
        Refusal{"StrayFile", {"flash", "--demo", "FW.HXF"}, "flash takes no file"},
        Refusal{"CheckWithoutFile", {"check"}, "check takes one file"},
        Refusal{"PortsWithArgument", {"ports", "COM1"}, "ports takes no arguments"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Help, OfEveryCommandNamesItsOptions) {
    const std::pair<std::vector<std::string>, std::vector<std::string>> helps[] = {
        {{"flash", "--help"},
         {"Usage: ondo-flash flash", "--port <port>", "--file <file>", "--ee-only", "--flash-only",
          "--rescue", "--yes", "--progress <format>", "--demo", "--sim-args <options>",
          "Exit status:", "  7  flash", "  9  cancelled"}},
        {{"check", "-h"}, {"Usage: ondo-flash check", "The firmware file (.HXF).", "--help"}},
        {{"ports", "--help"}, {"Usage: ondo-flash ports", "COM1 to COM9"}},
        {{"--help"},
         {"ondo-flash flash --port COM3 --file FW.HXF", "ondo-flash check FW.HXF",
          "ondo-flash ports", "--demo [--sim-args OPTIONS]"}}};
    for (const auto& [args, names] : helps) {
        const RunResult r = program(args);
        EXPECT_EQ(r.exitCode, 0) << args[0];
        EXPECT_EQ(r.err, "");
        for (const std::string& name : names)
            EXPECT_NE(r.out.find(name), std::string::npos) << args[0] << " lacks " << name;
    }
}

}  // namespace
}  // namespace ondo::testing
