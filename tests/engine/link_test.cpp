// SPDX-License-Identifier: GPL-3.0-or-later
// The link over the in-memory serial library: how the unit's replies are read, the version query,
// the console's refusal while a run owns the unit, the demo's port override, and the port list.

#include "link/link.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "console/console.h"
#include "core/settings.h"
#include "engine/engine.h"
#include "ports/port_list.h"
#include "support/fake_serial.h"
#include "support/recording_face.h"

namespace ondo::testing {
namespace {

// The engine on the in-memory serial library. The unit echoes nothing and answers each command
// in `replies` with the bytes given, but on `silentPort`, where it answers nothing.
struct EngineOnAFake {
    EngineOnAFake() {
        clock.serial = &serial;
        clock.onTick = [this] { link.Timer1_Timer(); };
        serial.onSend = [this](unsigned char byte) {
            if (byte != '\r') return void(line += static_cast<char>(byte));
            if (replies.contains(line) && link.PortNumber != silentPort)
                serial.deliver(replies[line]);
            line.clear();
        };
    }
    FakeSerial serial;
    RecordingFace face;
    TickPerYield clock;
    std::string line;  // the command being sent
    std::map<std::string, std::string> replies;
    int silentPort = -1;
    Engine engine{serial, clock, face};
    Link& link = engine.link();
};

class LinkTest : public ::testing::Test, protected EngineOnAFake {
  protected:
    // Opens COM1 (no greeting: that is the port list's), then forgets the calls it made.
    void openQuietly() {
        link.openPort(0);
        serial.sent.clear();
        serial.calls.clear();
        face.statuses.clear();
    }
};

TEST_F(LinkTest, ReplyIsTheLineAfterTheFirstLineFeed) {
    openQuietly();
    serial.deliver("v\r\nV 0024\r\nrest");
    EXPECT_EQ(link.GetResponse(), "\nV 0024\r\n");
    EXPECT_FALSE(link.RxBusy);
    EXPECT_EQ(serial.rx.size(), 4u) << "bytes after the reply stay queued";
    serial.rx.clear();
    serial.deliver("V 0024\r\nD 1");  // no leading line feed: the reply is lost
    EXPECT_EQ(link.GetResponse(), "\nD 1");
    EXPECT_TRUE(link.TimedOut);
    const int before = clock.ticks;
    EXPECT_EQ(link.GetResponse(), "");
    EXPECT_EQ(clock.ticks - before, 6) << "no reply: empty text after the short time-out";
    serial.deliverAt(clock.ticks + 4, "\nE 0012\r\n");
    EXPECT_EQ(link.GetResponse(), "\nE 0012\r\n");
    EXPECT_FALSE(link.TimedOut);
    serial.deliver(std::string(20000, 'x') + "\nOK\r\n");
    const int streaming = clock.ticks;
    EXPECT_EQ(link.GetResponse(), "\nOK\r\n");
    EXPECT_EQ(clock.ticks, streaming) << "a reader that keeps finding bytes never yields";
}

TEST_F(LinkTest, TheVersionQueryAndItsLabel) {
    openQuietly();
    const std::tuple<const char*, int, const char*> versions[] = {
        {"v\r\nV 0023\r\n", 0x23, "ROM 0023"},
        {"\nV 00a4\r\n", -1, "ROM 00a4"},
        {"", 0, "ROM ----"}};
    for (const auto& [reply, value, label] : versions) {
        replies["v"] = reply;
        EXPECT_EQ(link.GetVersion(), value) << reply;
        EXPECT_EQ(face.versionLabel, label);
    }
    EXPECT_EQ(link.RomVersion, "");
    replies["v"] = "\nV 0024\r\n";
    link.lBootVersion_Click();
    EXPECT_EQ(face.versionLabel + "|" + link.RomVersion, "ROM 0024|0024");
}

// The console's keys are the window's (ConsoleKeysAsTheWindowHandlesThem); here, when Enter sends.
TEST_F(LinkTest, ConsoleSendsNothingWhileARunOwnsTheUnit) {
    Console console{link, face, face};
    int enter = 13;
    face.cmd = "v";
    openQuietly();
    {
        const Link::RunClaim run(link);
        console.tCmd_KeyPress(enter);
        EXPECT_EQ(enter, 13) << "the key passes";
        EXPECT_EQ(serial.sent, "");
    }
    console.tCmd_KeyPress(enter);
    EXPECT_EQ(serial.sent, "v\r");
}

// The demo points a port at its simulated unit for its session only: the user's map stays.
TEST(SettingsStore, APortOverrideIsNeverStored) {
    QTemporaryDir dir;
    const std::string file = dir.filePath("FLASH.ini").toStdString();
    {
        Settings settings(file);
        settings.savePortDevice(3, "/dev/ttyUSB7");
        settings.overridePort(3, "/tmp/sim-pty");
        EXPECT_EQ(settings.portDevice(3), "/tmp/sim-pty");
        settings.sync();
    }
    EXPECT_EQ(Settings(file).portDevice(3), "/dev/ttyUSB7") << "an override is never stored";
}

// The port list: building it, opening a port, the greeting.
// A list build; a second one; a build, then the user picks `entry`; the command line opens it.
enum class Act { Rebuild, RebuildAgain, Choose, OpenNamed };

using Text = const char*;
struct PortCase {
    // The ports that open, those that fail with a system error (digits), the remembered port.
    Text name, present, osErrors, remembered, entry;
    Act act;
    // What the last act left: the list, PortName, status lines (S: status, E: error, P: plain)
    // and lamp (N, G, R), what was sent, a run of the library calls made (none when empty).
    Text listed, portName, shown, sent, calls;
};

void PrintTo(const PortCase& c, std::ostream* out) {
    *out << c.name;
}

std::string joined(const std::vector<std::string>& texts) {
    std::string text;
    for (const auto& t : texts) text += (text.empty() ? "" : " ") + t;
    return text;
}

// The unit answers the version query, but on COM2, where it is silent.
class PortLists : public ::testing::TestWithParam<PortCase>, protected EngineOnAFake {
  protected:
    PortLists() {
        replies["v"] = "\nV 0024\r\n";
        silentPort = 1;
        serial.present.clear();
        for (const char* c = GetParam().present; *c; ++c) serial.present.insert(*c - '0');
        for (const char* c = GetParam().osErrors; *c; ++c) serial.osErrorPorts.insert(*c - '0');
    }
    std::string shown() const {
        std::string text;
        for (const auto& s : face.statuses) text += "PSE"[int(s.colour)] + (":" + s.text) + "|";
        return text + "NGR"[int(face.indicator)];
    }
    PortList ports{link, face, face, [] { return std::string(GetParam().remembered); }};
};

TEST_P(PortLists, ListOpenAndGreet) {
    const PortCase& p = GetParam();
    if (p.act == Act::RebuildAgain || p.act == Act::Choose) ports.rebuild();
    serial.calls.clear(), serial.sent.clear(), face.statuses.clear();
    face.selectedPort = p.entry;
    if (p.act == Act::Choose) ports.openSelected();
    if (p.act == Act::OpenNamed) openNamedPort(link, face, p.entry);
    if (p.act == Act::Rebuild || p.act == Act::RebuildAgain) ports.rebuild();
    EXPECT_EQ(joined(face.ports), p.listed);
    EXPECT_EQ(link.PortName, p.portName);
    EXPECT_EQ(shown(), p.shown);
    EXPECT_EQ(serial.sent, p.sent);
    const std::string calls = joined(serial.calls);
    EXPECT_TRUE(*p.calls ? calls.find(p.calls) != std::string::npos : calls.empty()) << calls;
}

INSTANTIATE_TEST_SUITE_P(
    Ports, PortLists,
    ::testing::Values(
        PortCase{"RememberedOpensBeforeTheProbeGoesOn", "024", "", "COM3", "", Act::RebuildAgain,
                 "COM1 COM3 COM5", "COM3", "P:Opened COM3|S:Opened COM3|G", "tf\rv\r",
                 "SioDone(2) SioReset(0,2,2) SioDone(0) SioReset(1,2,2) SioReset(2,2,2) SioDone(2) "
                 "SioReset(2,8192,256) SioParms(2,0,0,8) SioBaud(2,6) SioReset(3,2,2)"},
        PortCase{"SilentUnitTurnsTheLampRed", "01", "", "COM2", "", Act::Rebuild, "COM1 COM2",
                 "COM2", "P:Opened COM2|S:Opened COM2|R", "tf\rv\r", "SioReset(1,8192,256)"},
        PortCase{"OnlyPortIsAnnouncedAndOpened", "3", "1", "", "", Act::Rebuild, "COM4", "COM4",
                 "S:Only COM4 available|P:Opened COM4|S:Opened COM4|G", "tf\rv\r",
                 "SioReset(3,8192,256)"},
        PortCase{"NoPort", "", "", "COM1", "", Act::Rebuild, "", "", "E:No COM port available|N",
                 "", "SioReset(8,2,2)"},
        PortCase{"ChoosingAnotherClosesTheOpenOne", "024", "", "COM3", "COM5", Act::Choose,
                 "COM1 COM3 COM5", "COM5", "P:Opened COM5|S:Opened COM5|G", "tf\rv\r",
                 "SioDone(2) SioReset(4,8192,256)"},
        PortCase{"NamedPortFails", "0", "", "", "COM7", Act::OpenNamed, "", "COM7",
                 "E:Could NOT Open COM7, error-2|R", "", "SioReset(6,8192,256)"},
        PortCase{"NamedPortFailsWithTheSystemText", "", "0", "", "COM1", Act::OpenNamed, "", "COM1",
                 "E:Could NOT Open COM1, error-103|E:Permission denied|R", "",
                 "SioReset(0,8192,256)"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ondo::testing
