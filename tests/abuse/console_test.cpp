// The command console abused through the window: very long lines and every control character
// pasted into the command box go out exactly as they stand, followed by one CR; the data pane
// stays bounded; and the last command comes back whole in the next session.

#include <QLineEdit>
#include <QTest>

#include "app/app_fixture.h"

namespace ondo::app::testing {
namespace {

constexpr std::size_t kLongLine = 20000;
// The pane's trimming rule cuts its first 511 characters whenever an append takes it past 1024.
constexpr std::size_t kPaneBound = 1024;

class ConsoleAbuse : public WindowTest {
  protected:
    Form1& ready() {
        serial.present = {0};
        store("port", "COM1");
        Form1& f = load();
        f.show();
        QCoreApplication::processEvents();
        EXPECT_TRUE(f.link().PortOpen);
        return f;
    }
    // Puts the text into the command box as a paste does and presses Enter.
    void enter(const std::string& text) {
        auto* box = child<QLineEdit>("tCmd");
        box->setText(QString::fromLatin1(text.data(), static_cast<int>(text.size())));
        serial.sent.clear();
        QTest::keyClick(box, Qt::Key_Return);
    }
};

std::string everyControlCharacter() {
    std::string text;
    for (int c = 1; c < 32; ++c) text += static_cast<char>(c);
    text += '\x7f';
    text += "\x80\xff";
    return text;
}

TEST_F(ConsoleAbuse, LongLineGoesOutWholeWithOneCarriageReturn) {
    Form1& f = ready();
    std::string line;
    for (std::size_t i = 0; line.size() < kLongLine; ++i) line += "v" + std::to_string(i) + ' ';
    enter(line);
    EXPECT_EQ(serial.sent, line + "\r");
    EXPECT_TRUE(child<QLineEdit>("tCmd")->text().isEmpty());
    EXPECT_EQ(f.console().LastCmd, line);
    // The echo "[ line ]" was longer than the pane may hold: it keeps the end of it.
    const std::string echo = "[ " + line + " ]";
    EXPECT_LE(f.paneText().size(), echo.size());
    EXPECT_EQ(echo.compare(echo.size() - 100, 100, f.paneText(), f.paneText().size() - 100, 100),
              0);
    // Each later append cuts 511 characters more, so short commands bring it back in bounds.
    for (int i = 0; i < 50; ++i) enter("v");
    EXPECT_EQ(serial.sent, "v\r");
    EXPECT_LE(f.paneText().size(), kPaneBound);
}

TEST_F(ConsoleAbuse, ControlCharactersGoOutAsTheyStand) {
    Form1& f = ready();
    const std::string text = "a" + everyControlCharacter() + "z";
    enter(text);
    EXPECT_EQ(serial.sent, text + "\r");
    EXPECT_EQ(f.console().LastCmd, text);
    EXPECT_NE(f.paneText().find("[ " + text + " ]"), std::string::npos);
}

TEST_F(ConsoleAbuse, UpArrowRecallsAControlCharacterLineWhole) {
    ready();
    const std::string text = "m0\t\x1b[2J\x01";
    enter(text);
    auto* box = child<QLineEdit>("tCmd");
    QTest::keyClick(box, Qt::Key_Up);
    EXPECT_EQ(box->text().toLatin1().toStdString(), text);
}

TEST_F(ConsoleAbuse, LastCommandWithControlCharactersAndALongTailSurvivesTheStore) {
    ready();
    const std::string text =
        "e0010;=\"[Startup]\"\\" + everyControlCharacter() + std::string(5000, 'x');
    enter(text);
    closeAndEnd();
    EXPECT_EQ(stored("lastcmd"), text);
    EXPECT_EQ(stored("port"), "COM1");  // the other keys are still read as written
    serial.present = {0};
    load();
    EXPECT_EQ(child<QLineEdit>("tCmd")->text().toLatin1().toStdString(), text);
}

TEST_F(ConsoleAbuse, CommandsTypedFastAllGoOutInOrder) {
    ready();
    std::string expected;
    auto* box = child<QLineEdit>("tCmd");
    serial.sent.clear();
    for (int i = 0; i < 500; ++i) {
        const std::string command = "a" + std::to_string(1000 + i);
        QTest::keyClicks(box, QString::fromStdString(command));
        QTest::keyClick(box, Qt::Key_Return);
        expected += command + "\r";
    }
    EXPECT_EQ(serial.sent, expected);
}

}  // namespace
}  // namespace ondo::app::testing
