// `ports` and the latency timer of a USB adapter, read from a stand-in of the system's sysfs tree.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "cli/cli_run.h"

namespace ondo::testing {
namespace {

struct TimerCase {
    const char* name;
    bool byIdLink;                    // COM2 maps a /dev/serial/by-id link, not the device itself
    std::optional<std::string> file;  // the latency_timer file's content; none: no such file
    std::string suffix;               // what follows COM2's state
    std::string hint;                 // the line after COM2's; empty: the next port's line
};

void PrintTo(const TimerCase& c, std::ostream* os) {
    *os << c.name;
}

class PortsLatencyTimer : public ::testing::TestWithParam<TimerCase> {};

TEST_P(PortsLatencyTimer, ShowsTheValueAndAHintAboveOneMillisecond) {
    const TimerCase& c = GetParam();
    TempFolder root;
    namespace fs = std::filesystem;
    fs::create_directories(root.file("dev/serial/by-id"));
    writeFile(root.file("dev/ttyUSB42"), "");
    fs::create_symlink("../../ttyUSB42", root.file("dev/serial/by-id/usb-FTDI_FT232R-if00-port0"));
    const std::string timerFile = root.file("sys/bus/usb-serial/devices/ttyUSB42/latency_timer");
    fs::create_directories(fs::path(timerFile).parent_path());
    if (c.file) writeFile(timerFile, *c.file);
    const std::string device = c.byIdLink ? root.file("dev/serial/by-id/usb-FTDI_FT232R-if00-port0")
                                          : root.file("dev/ttyUSB42");
    writeFile(root.file("home/config/Ondo/FLASH.conf"), "[Ports]\nCOM2=" + device + "\n");

    CliRun run;
    run.args = {"ports"};
    run.home = root.file("home");
    run.environment = {"ONDO_SYSFS_ROOT=" + root.file("sys")};
    const CliResult r = run.run();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = r.outLines();
    std::size_t at = 0;
    while (at < lines.size() && lines[at].rfind("COM2  " + device + "  ", 0) != 0) ++at;
    ASSERT_LT(at + 1, lines.size()) << r.out;
    const std::string& line = lines[at];
    EXPECT_TRUE(line.size() >= c.suffix.size() &&
                line.compare(line.size() - c.suffix.size(), c.suffix.size(), c.suffix) == 0)
        << line;
    if (c.hint.empty()) {
        EXPECT_EQ(lines[at + 1].rfind("COM3  ", 0), 0u) << r.out;
    } else {
        EXPECT_EQ(lines[at + 1], "  " + c.hint + timerFile) << r.out;
    }
}

const std::string kHint16 =
    "hint: the adapter holds received bytes up to 16 ms, slowing an update; ondo-flash asks its "
    "driver for 1 ms while it has the port open; to make 1 ms the default, as root: echo 1 > ";

INSTANTIATE_TEST_SUITE_P(
    Cli, PortsLatencyTimer,
    ::testing::Values(
        TimerCase{"SixteenThroughAByIdLink", true, "16\n", "  latency timer 16 ms", kHint16},
        TimerCase{"SixteenOnTheDeviceItself", false, "16\n", "  latency timer 16 ms", kHint16},
        TimerCase{"OneNeedsNoHint", true, "1\n", "  latency timer 1 ms", ""},
        TimerCase{"NoTimerShownLeavesTheLineAlone", true, std::nullopt,
                  "  not available: Inappropriate ioctl for device", ""},
        TimerCase{"UnreadableTimerIsNotShown", true, "n/a\n",
                  "  not available: Inappropriate ioctl for device", ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ondo::testing
