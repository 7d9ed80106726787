// The port list, opening and the greeting, over the in-memory serial library.

#include "link/link_fixture.h"

namespace ondo::testing {
namespace {

using PortsTest = LinkTest;

TEST_F(PortsTest, RememberedPortOpensDuringTheBuildBeforeLaterPortsAreProbed) {
    serial.present = {0, 2, 4};
    remembered = "COM3";
    replies["v"] = "\nV 0024\r\n";
    link.cboPort_GotFocus();
    EXPECT_EQ(face.ports, (std::vector<std::string>{"COM1", "COM3", "COM5"}));
    EXPECT_EQ(face.selectedPort, "COM3");
    EXPECT_TRUE(link.PortOpen);
    EXPECT_EQ(link.PortNumber, 2);
    EXPECT_EQ(face.indicator, Indicator::Green);
    // The open of COM3 (queues 8192 and 256) comes before COM4 and COM5 are probed.
    std::vector<std::string> resets;
    for (const auto& call : serial.calls)
        if (call.rfind("SioReset", 0) == 0) resets.push_back(call);
    EXPECT_EQ(resets, (std::vector<std::string>{"SioReset(0,2,2)", "SioReset(1,2,2)",
                                                "SioReset(2,2,2)", "SioReset(2,8192,256)",
                                                "SioReset(3,2,2)", "SioReset(4,2,2)",
                                                "SioReset(5,2,2)", "SioReset(6,2,2)",
                                                "SioReset(7,2,2)", "SioReset(8,2,2)"}));
}

TEST_F(PortsTest, GreetingSendsTfThenTheVersionQuery) {
    serial.present = {0, 1};
    remembered = "COM2";
    link.cboPort_GotFocus();
    EXPECT_EQ(serial.sent, "tf\rv\r");
    EXPECT_EQ(face.indicator, Indicator::Red) << "the unit did not answer";
    EXPECT_EQ(face.versionLabel, "ROM ----");
    EXPECT_EQ(face.lastStatus().text, "Opened COM2");
    EXPECT_EQ(face.lastStatus().colour, Colour::Status);
}

TEST_F(PortsTest, LineSettingsAre8N1At19200) {
    serial.present = {0};
    link.openPort("COM1");
    EXPECT_NE(std::find(serial.calls.begin(), serial.calls.end(), "SioParms(0,0,0,8)"),
              serial.calls.end());
    EXPECT_NE(std::find(serial.calls.begin(), serial.calls.end(), "SioBaud(0,6)"),
              serial.calls.end());
}

TEST_F(PortsTest, RememberedNameMustMatchExactly) {
    serial.present = {0, 2};
    remembered = "com3";
    link.cboPort_GotFocus();
    EXPECT_EQ(face.selectedPort, "");
    EXPECT_FALSE(link.PortOpen);
    EXPECT_EQ(serial.sent, "");
}

TEST_F(PortsTest, OnlyOnePortIsAnnouncedAndOpened) {
    serial.present = {3};
    link.cboPort_GotFocus();
    EXPECT_TRUE(face.sawStatus("Only COM4 available"));
    EXPECT_EQ(face.selectedPort, "COM4");
    EXPECT_TRUE(link.PortOpen);
    EXPECT_EQ(face.lastStatus().text, "Opened COM4");
}

TEST_F(PortsTest, NoPortAvailable) {
    serial.present = {};
    link.cboPort_GotFocus();
    EXPECT_EQ(face.lastStatus().text, "No COM port available");
    EXPECT_EQ(face.lastStatus().colour, Colour::Error);
    EXPECT_TRUE(face.ports.empty());
    EXPECT_FALSE(link.PortOpen);
    EXPECT_EQ(face.indicator, Indicator::Neutral);
}

TEST_F(PortsTest, FocusClosesTheOpenPortFirst) {
    openQuietly();
    serial.present = {0, 1};
    link.cboPort_GotFocus();
    ASSERT_FALSE(serial.calls.empty());
    EXPECT_EQ(serial.calls.front(), "SioDone(0)");
    EXPECT_FALSE(link.PortOpen);
    EXPECT_EQ(face.ports, (std::vector<std::string>{"COM1", "COM2"}));
}

TEST_F(PortsTest, FailedOpenShowsTheResult) {
    link.openPort("COM7");
    EXPECT_EQ(face.statuses.front().text, "Could NOT Open COM7, error-2");
    EXPECT_EQ(face.lastStatus().colour, Colour::Error);
    EXPECT_FALSE(link.PortOpen);
}

TEST_F(PortsTest, OperatingSystemErrorShowsTheSystemText) {
    serial.osErrorPorts = {0};
    link.openPort("COM1");
    ASSERT_EQ(face.statuses.size(), 2u);
    EXPECT_EQ(face.statuses[0].text, "Could NOT Open COM1, error-103");
    EXPECT_EQ(face.statuses[1].text, "Permission denied");
    EXPECT_EQ(face.statuses[1].colour, Colour::Error);
    EXPECT_EQ(link.ErrorText, "Permission denied");
}

TEST_F(PortsTest, SelectionWithNoTextDoesNothing) {
    face.selectedPort = "";
    link.cboPort_Click();
    EXPECT_TRUE(serial.calls.empty());
    EXPECT_EQ(link.PortName, "");
}

}  // namespace
}  // namespace ondo::testing
