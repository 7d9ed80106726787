// Keys in the command box and the two panes, and the label "cmd:".

#include <QTest>
#include <optional>

#include "app/app_fixture.h"
#include "app/keys.h"

namespace ondo::app::testing {
namespace {

class ConsoleKeys : public WindowTest {
  protected:
    void open() {
        serial.present = {0};
        load().show();
        QCoreApplication::processEvents();  // the first focus and its port list build
        ASSERT_TRUE(form->link().PortOpen);
        serial.sent.clear();
    }
    QLineEdit* cmd() const { return child<QLineEdit>("tCmd"); }
    QPlainTextEdit* pane() const { return child<QPlainTextEdit>("tRx"); }
    QPlainTextEdit* log() const { return child<QPlainTextEdit>("tText"); }
};

TEST_F(ConsoleKeys, EnterSendsEchoesAndEmptiesTheBox) {
    open();
    QTest::keyClicks(cmd(), "v");
    QTest::keyClick(cmd(), Qt::Key_Return);
    EXPECT_EQ(serial.sent, "v\r");
    EXPECT_NE(form->paneText().find("[ v ]"), std::string::npos);
    EXPECT_TRUE(cmd()->text().isEmpty());
    EXPECT_EQ(form->console().LastCmd, "v");
}

TEST_F(ConsoleKeys, EnterWithThePortClosedKeepsTheText) {
    load().show();
    QTest::keyClicks(cmd(), "m0");
    QTest::keyClick(cmd(), Qt::Key_Return);
    EXPECT_EQ(child<QLabel>("labStat")->text(), "COM port not open");
    EXPECT_EQ(cmd()->text(), "m0");
}

TEST_F(ConsoleKeys, UpArrowRecallsTheLastCommandWithTheCaretAtItsEnd) {
    open();
    QTest::keyClicks(cmd(), "tf");
    QTest::keyClick(cmd(), Qt::Key_Return);
    QTest::keyClick(cmd(), Qt::Key_Up);
    EXPECT_EQ(cmd()->text(), "tf");
    EXPECT_EQ(cmd()->cursorPosition(), 2);
    QTest::keyClick(cmd(), Qt::Key_Return);
    EXPECT_EQ(serial.sent, "tf\rtf\r");
}

TEST_F(ConsoleKeys, UpArrowBeforeAnySendEmptiesARestoredCommand) {
    store("lastcmd", "v");
    load().show();
    ASSERT_EQ(cmd()->text(), "v");
    QTest::keyClick(cmd(), Qt::Key_Up);
    EXPECT_TRUE(cmd()->text().isEmpty());
}

TEST_F(ConsoleKeys, LetterTypedIntoThePaneStartsANewCommand) {
    load().show();
    form->dataHistory("unit data");
    cmd()->setText("old");
    QTest::keyClick(pane(), Qt::Key_M);
    EXPECT_EQ(cmd()->text(), "m");
    EXPECT_EQ(cmd()->cursorPosition(), 1);
    EXPECT_EQ(form->paneText(), "unit data");
    EXPECT_EQ(pane()->toPlainText(), "unit data");
    EXPECT_EQ(form->focusWidget(), cmd());
}

TEST_F(ConsoleKeys, BackspaceTypedIntoTheLogBecomesTheWholeCommand) {
    load().show();
    form->scrollText("progress");
    cmd()->setText("abc");
    QTest::keyClick(log(), Qt::Key_Backspace);
    EXPECT_EQ(cmd()->text(), QString(QChar(8)));
    EXPECT_EQ(form->logText(), "progress");
}

TEST_F(ConsoleKeys, EnterTypedIntoTheLogSendsTheCommandBox) {
    open();
    cmd()->setText("v");
    QTest::keyClick(log(), Qt::Key_Return);
    EXPECT_EQ(serial.sent, "v\r");
    EXPECT_TRUE(cmd()->text().isEmpty());
}

TEST_F(ConsoleKeys, WhileARunOwnsTheUnitTheBoxEditsButSendsNothing) {
    open();
    std::optional<Link::RunClaim> run(std::in_place, form->link());
    QTest::keyClicks(cmd(), "v");
    QTest::keyClick(cmd(), Qt::Key_Return);
    EXPECT_EQ(serial.sent, "");
    EXPECT_EQ(cmd()->text(), "v");
    QTest::keyClick(pane(), Qt::Key_X);  // focus moves, the box keeps its text
    EXPECT_EQ(cmd()->text(), "v");
    EXPECT_EQ(form->focusWidget(), cmd());
}

TEST_F(ConsoleKeys, ArrowsStillMoveThroughAPane) {
    load().show();
    form->dataHistory("line");
    QTest::keyClick(pane(), Qt::Key_Home);
    EXPECT_EQ(form->paneText(), "line");
    EXPECT_TRUE(cmd()->text().isEmpty());  // no character was typed
}

TEST_F(ConsoleKeys, ClickOnCmdEmptiesThePaneOnly) {
    load().show();
    form->dataHistory("reply");
    form->scrollText("log");
    cmd()->setText("keep");
    QTest::mouseClick(child<QLabel>("lCmd"), Qt::LeftButton);
    EXPECT_EQ(form->paneText(), "");
    EXPECT_EQ(form->logText(), "log");
    EXPECT_EQ(cmd()->text(), "keep");
}

TEST(KeyCodes, CharactersAndKeysAsTheConsoleKnowsThem) {
    const auto character = [](Qt::Key key, const QString& text, Qt::KeyboardModifiers m = {}) {
        QKeyEvent e(QEvent::KeyPress, key, m, text);
        return characterCode(e);
    };
    EXPECT_EQ(character(Qt::Key_Return, "\r"), 13);
    EXPECT_EQ(character(Qt::Key_Enter, ""), 13);
    EXPECT_EQ(character(Qt::Key_Backspace, ""), 8);
    EXPECT_EQ(character(Qt::Key_Escape, ""), 27);
    EXPECT_EQ(character(Qt::Key_A, "a"), 'a');
    EXPECT_EQ(character(Qt::Key_A, "", Qt::ControlModifier), 1);
    EXPECT_EQ(character(Qt::Key_Tab, "\t"), 0);
    EXPECT_EQ(character(Qt::Key_Up, ""), 0);
    EXPECT_EQ(character(Qt::Key_unknown, QString(QChar(0x20AC))), 0);  // not Latin-1
    const auto code = [](Qt::Key key) {
        QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
        return keyCode(e);
    };
    EXPECT_EQ(code(Qt::Key_Up), 38);
    EXPECT_EQ(code(Qt::Key_Down), 40);
    EXPECT_EQ(code(Qt::Key_M), 'M');
    EXPECT_EQ(code(Qt::Key_F1), 112);
}

}  // namespace
}  // namespace ondo::app::testing
