// The port list over the in-memory serial library: building it, opening a port, the greeting.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ports/port_list.h"
#include "support/fake_serial.h"
#include "support/recording_face.h"

namespace ondo::testing {
namespace {

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
class PortLists : public ::testing::TestWithParam<PortCase> {
  protected:
    PortLists() {
        clock.onTick = [this] { link.Timer1_Timer(); };
        serial.onSend = [this](unsigned char byte) {
            if (byte != '\r') return void(line += static_cast<char>(byte));
            if (line == "v" && link.PortNumber != 1) serial.deliver("\nV 0024\r\n");
            line.clear();
        };
        serial.present.clear();
        for (const char* c = GetParam().present; *c; ++c) serial.present.insert(*c - '0');
        for (const char* c = GetParam().osErrors; *c; ++c) serial.osErrorPorts.insert(*c - '0');
    }
    std::string shown() const {
        std::string text;
        for (const auto& s : face.statuses) text += "PSE"[int(s.colour)] + (":" + s.text) + "|";
        return text + "NGR"[int(face.indicator)];
    }
    FakeSerial serial;
    RecordingFace face;
    TickPerYield clock;
    std::string line;
    Link link{serial, face, clock};
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
        PortCase{"RememberedNameMustMatchExactly", "02", "", "com3", "", Act::Rebuild, "COM1 COM3",
                 "", "N", "", "SioReset(8,2,2)"},
        PortCase{"OnlyPortIsAnnouncedAndOpened", "3", "1", "", "", Act::Rebuild, "COM4", "COM4",
                 "S:Only COM4 available|P:Opened COM4|S:Opened COM4|G", "tf\rv\r",
                 "SioReset(3,8192,256)"},
        PortCase{"NoPort", "", "", "COM1", "", Act::Rebuild, "", "", "E:No COM port available|N",
                 "", "SioReset(8,2,2)"},
        PortCase{"ChoosingAnotherClosesTheOpenOne", "024", "", "COM3", "COM5", Act::Choose,
                 "COM1 COM3 COM5", "COM5", "P:Opened COM5|S:Opened COM5|G", "tf\rv\r",
                 "SioDone(2) SioReset(4,8192,256)"},
        PortCase{"EmptySelectionDoesNothing", "024", "", "COM3", "", Act::Choose, "COM1 COM3 COM5",
                 "", "N", "", ""},
        PortCase{"NamedPortFails", "0", "", "", "COM7", Act::OpenNamed, "", "COM7",
                 "E:Could NOT Open COM7, error-2|R", "", "SioReset(6,8192,256)"},
        PortCase{"NamedPortFailsWithTheSystemText", "", "0", "", "COM1", Act::OpenNamed, "", "COM1",
                 "E:Could NOT Open COM1, error-103|E:Permission denied|R", "",
                 "SioReset(0,8192,256)"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ondo::testing
