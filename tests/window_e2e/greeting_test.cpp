// The link as the window makes it at start-up against the simulated unit: the greeting's outcome
// on the lamp and the version label, and the unit's readings reaching the data pane through the
// timer's background poll once "t1" is sent from the console, and stopping after "tf".

#include <QComboBox>
#include <QRegularExpression>
#include <iterator>
#include <regex>

#include "app/widgets.h"
#include "window_e2e/sim_window.h"

namespace ondo::app::testing {
namespace {

class Greeting : public SimWindow {
  protected:
    QString versionLabel() const { return child<QLabel>("lBootVersion")->text(); }
    QColor lamp() const { return child<PortLamp>("shpPort")->fillColour(); }
};

// Each greeting is "tf" CR and "v" CR. The list is built at load and again when it first gets
// the focus, and each build opens COM1 twice: as the remembered port, then as the only one.
constexpr long long kFourGreetings = 20;

TEST_F(Greeting, AnsweringUnitTurnsTheLampGreenAndShowsItsVersion) {
    ASSERT_TRUE(startUnit({"--version", "0031"}));
    WatchedForm& f = open();
    EXPECT_TRUE(f.link().PortOpen);
    EXPECT_EQ(child<QComboBox>("cboPort")->currentText(), "COM1");
    EXPECT_EQ(status(), "Opened COM1");
    EXPECT_EQ(versionLabel(), "ROM 0031");
    EXPECT_EQ(f.link().RomVersion, "0031");
    EXPECT_EQ(lamp(), QColor(0, 255, 0));
    EXPECT_NE(f.paneText().find("\nT 0\r\n\nV 0031\r\n"), std::string::npos) << f.paneText();
    EXPECT_EQ(bytesFromHost(), kFourGreetings);
}

TEST_F(Greeting, SilentUnitTurnsTheLampRedAndShowsNoVersion) {
    ASSERT_TRUE(startUnit({"--silent"}));
    WatchedForm& f = open();
    EXPECT_TRUE(f.link().PortOpen);
    EXPECT_EQ(status(), "Opened COM1");
    EXPECT_EQ(versionLabel(), "ROM ----");
    EXPECT_EQ(f.link().RomVersion, "");
    EXPECT_EQ(lamp(), QColor(255, 0, 0));
    EXPECT_EQ(bytesFromHost(), kFourGreetings);  // the unit heard every greeting, answering none
}

// One reading as the unit sends it: air-fuel ratio, lambda, sensor temperature.
const std::regex kReading("\nD [0-9]+\\.[0-9]{2} [0-9]\\.[0-9]{3} [0-9]{4}\r\n");

std::ptrdiff_t readingsIn(const std::string& text) {
    return std::distance(std::sregex_iterator(text.begin(), text.end(), kReading),
                         std::sregex_iterator());
}

class Readings : public SimWindow {};

TEST_F(Readings, ReachThePaneAfterT1AndStopAfterTf) {
    ASSERT_TRUE(startUnit());
    WatchedForm& f = open();
    const std::size_t start = f.heard.size();
    typeCommand("t1");
    ASSERT_TRUE(heardAfter(start, "t1\r\nT 1\r\n"));
    ASSERT_TRUE(spinUntil([&] { return readingsIn(f.heard.substr(start)) >= 3; }));
    const QRegularExpression shown("D [0-9]+\\.[0-9]{2} [0-9]\\.[0-9]{3} [0-9]{4}");
    EXPECT_TRUE(pane()->toPlainText().contains(shown)) << pane()->toPlainText().toStdString();

    const std::size_t stop = f.heard.size();
    typeCommand("tf");
    const std::string reply = "tf\r\nT 0\r\n";
    ASSERT_TRUE(heardAfter(stop, reply));
    const std::size_t replied = f.heard.find(reply, stop);
    EXPECT_LT(f.heard.find("[ tf ]", stop), replied);
    const std::string paneAfterReply = f.paneText();
    ASSERT_TRUE(spinTicks(15));  // a reading every 100 ms would have come more than once
    EXPECT_EQ(f.heard.substr(replied + reply.size()), "");
    EXPECT_EQ(f.paneText(), paneAfterReply);
}

}  // namespace
}  // namespace ondo::app::testing
