// The command console through real key events on the window's boxes, with every command going
// over the real line to the simulated unit. The unit echoes each byte and answers each command,
// so what comes back into the pane, and the unit's count of bytes read, show exactly what went
// out; a "v" probe sent after an action that must send nothing proves that nothing went before it.

#include <QTest>

#include "window_e2e/sim_window.h"

namespace ondo::app::testing {
namespace {

// "[ v ]" from the console, then the unit's echo of v CR and its reply line.
const std::string kProbeHeard = "[ v ]v\r\nV 0024\r\n";

class ConsoleOnTheLine : public SimWindow {};

TEST_F(ConsoleOnTheLine, EnterSendsTheCommandAndItsEchoPrecedesTheReply) {
    ASSERT_TRUE(startUnit({"--version", "0031"}));
    WatchedForm& f = open();
    const long long before = bytesFromHost();
    const std::size_t mark = f.heard.size();
    QTest::keyClicks(cmd(), "v");
    QTest::keyClick(cmd(), Qt::Key_Return);
    EXPECT_EQ(f.heard.substr(mark), "[ v ]");  // shown at once, before any reply
    EXPECT_TRUE(cmd()->text().isEmpty());
    EXPECT_EQ(f.console().LastCmd, "v");
    ASSERT_TRUE(heardAfter(mark, "\nV 0031\r\n"));
    EXPECT_EQ(f.heard.substr(mark), "[ v ]v\r\nV 0031\r\n");
    EXPECT_TRUE(pane()->toPlainText().contains("[ v ]"));
    EXPECT_TRUE(pane()->toPlainText().contains("V 0031"));
    EXPECT_EQ(bytesFromHost() - before, 2);  // v and CR, no line feed
}

TEST_F(ConsoleOnTheLine, EnterWithThePortClosedKeepsTheTextForALaterTry) {
    ASSERT_TRUE(startUnit());
    ASSERT_TRUE(unit->control("unplug"));
    WatchedForm& f = open();
    ASSERT_FALSE(f.link().PortOpen);
    EXPECT_EQ(status(), "No COM port available");
    typeCommand("v");
    EXPECT_EQ(status(), "COM port not open");
    EXPECT_EQ(cmd()->text(), "v");
    EXPECT_EQ(f.console().LastCmd, "");

    ASSERT_TRUE(unit->control("replug"));
    focusPortList();
    ASSERT_TRUE(f.link().PortOpen);
    EXPECT_EQ(status(), "Opened COM1");
    ASSERT_TRUE(spinTicks(2));
    const std::size_t mark = f.heard.size();
    QTest::keyClick(cmd(), Qt::Key_Return);
    ASSERT_TRUE(heardAfter(mark, kProbeHeard));
    EXPECT_EQ(f.heard.substr(mark), kProbeHeard);
}

TEST_F(ConsoleOnTheLine, EnterOnAnEmptyBoxSendsNothing) {
    ASSERT_TRUE(startUnit());
    WatchedForm& f = open();
    const long long before = bytesFromHost();
    const std::size_t mark = f.heard.size();
    cmd()->clear();
    QTest::keyClick(cmd(), Qt::Key_Return);
    EXPECT_EQ(f.heard.substr(mark), "");
    EXPECT_EQ(f.console().LastCmd, "");
    ASSERT_TRUE(probe());
    EXPECT_EQ(f.heard.substr(mark), kProbeHeard);
    EXPECT_EQ(bytesFromHost() - before, 2);
}

TEST_F(ConsoleOnTheLine, UpArrowRecallsOnlyACommandSentSinceTheWindowOpened) {
    ASSERT_TRUE(startUnit());
    store("lastcmd", "m0");
    WatchedForm& f = open();
    ASSERT_EQ(cmd()->text(), "m0");
    QTest::keyClick(cmd(), Qt::Key_Up);
    EXPECT_TRUE(cmd()->text().isEmpty());

    const long long before = bytesFromHost();
    const std::size_t mark = f.heard.size();
    typeCommand("m1");
    ASSERT_TRUE(heardAfter(mark, "m1\r\nM 1\r\n"));
    QTest::keyClick(cmd(), Qt::Key_Up);
    EXPECT_EQ(cmd()->text(), "m1");
    EXPECT_EQ(cmd()->cursorPosition(), 2);
    const std::size_t again = f.heard.size();
    QTest::keyClick(cmd(), Qt::Key_Return);
    ASSERT_TRUE(heardAfter(again, "m1\r\nM 1\r\n"));
    EXPECT_EQ(f.heard.substr(mark), "[ m1 ]m1\r\nM 1\r\n[ m1 ]m1\r\nM 1\r\n");
    EXPECT_EQ(bytesFromHost() - before, 6);
}

TEST_F(ConsoleOnTheLine, WhileARunOwnsTheUnitNothingIsSentButThePanesStillSteerTheFocus) {
    ASSERT_TRUE(startUnit());
    WatchedForm& f = open();
    const long long before = bytesFromHost();
    const std::size_t mark = f.heard.size();
    const QString statusBefore = status();
    auto run = std::make_unique<Link::RunClaim>(f.link());
    typeCommand("v");
    EXPECT_EQ(cmd()->text(), "v");  // the box edits as usual
    EXPECT_EQ(status(), statusBefore);
    pane()->setFocus();
    ASSERT_EQ(f.focusWidget(), pane());
    const int beeps = f.beeps;
    QTest::keyClick(pane(), Qt::Key_X);
    EXPECT_EQ(cmd()->text(), "v");
    EXPECT_EQ(f.focusWidget(), cmd());
    EXPECT_EQ(f.beeps, beeps + 1);
    QTest::keyClick(log(), Qt::Key_Return);
    EXPECT_EQ(cmd()->text(), "v");
    ASSERT_TRUE(spinTicks(2));
    EXPECT_EQ(f.heard.substr(mark), "");
    run.reset();

    cmd()->clear();
    ASSERT_TRUE(probe());
    EXPECT_EQ(f.heard.substr(mark), kProbeHeard);
    EXPECT_EQ(bytesFromHost() - before, 2);
}

TEST_F(ConsoleOnTheLine, ClickOnCmdEmptiesThePaneAndLaterDataStartsAfresh) {
    ASSERT_TRUE(startUnit());
    WatchedForm& f = open();
    ASSERT_FALSE(f.paneText().empty());  // the greeting's replies
    f.scrollText("progress\r\n");
    cmd()->setText("keep");
    QTest::mouseClick(child<QLabel>("lCmd"), Qt::LeftButton);
    EXPECT_EQ(f.paneText(), "");
    EXPECT_TRUE(pane()->toPlainText().isEmpty());
    EXPECT_EQ(f.logText(), "progress\r\n");
    EXPECT_EQ(cmd()->text(), "keep");
    cmd()->clear();
    ASSERT_TRUE(probe());
    EXPECT_EQ(f.paneText(), kProbeHeard);
}

class PaneKeys : public SimWindow {};

TEST_F(PaneKeys, LetterTypedInThePaneReplacesTheCommandAndSendsNothing) {
    ASSERT_TRUE(startUnit());
    WatchedForm& f = open();
    const std::string paneBefore = f.paneText();
    const QString shownBefore = pane()->toPlainText();
    ASSERT_FALSE(paneBefore.empty());
    const long long before = bytesFromHost();
    const std::size_t mark = f.heard.size();
    cmd()->setText("old");
    pane()->setFocus();
    ASSERT_EQ(f.focusWidget(), pane());
    const int beeps = f.beeps;
    QTest::keyClick(pane(), Qt::Key_M);
    EXPECT_EQ(cmd()->text(), "m");
    EXPECT_EQ(cmd()->cursorPosition(), 1);
    EXPECT_EQ(f.focusWidget(), cmd());
    EXPECT_EQ(f.beeps, beeps + 1);
    EXPECT_EQ(f.paneText(), paneBefore);
    EXPECT_EQ(pane()->toPlainText(), shownBefore);
    ASSERT_TRUE(spinTicks(2));
    EXPECT_EQ(f.heard.substr(mark), "");
    cmd()->clear();
    ASSERT_TRUE(probe());
    EXPECT_EQ(f.heard.substr(mark), kProbeHeard);
    EXPECT_EQ(bytesFromHost() - before, 2);
}

TEST_F(PaneKeys, BackspaceTypedInThePaneBecomesTheCommandAndGoesOutAsItStands) {
    ASSERT_TRUE(startUnit());
    WatchedForm& f = open();
    const std::string paneBefore = f.paneText();
    cmd()->setText("abc");
    pane()->setFocus();
    ASSERT_EQ(f.focusWidget(), pane());
    QTest::keyClick(pane(), Qt::Key_Backspace);
    EXPECT_EQ(cmd()->text(), QString(QChar(8)));
    EXPECT_EQ(f.paneText(), paneBefore);
    EXPECT_EQ(f.focusWidget(), cmd());
    const long long before = bytesFromHost();
    const std::size_t mark = f.heard.size();
    QTest::keyClick(cmd(), Qt::Key_Return);
    // The unit echoes the backspace and the CR and knows no such command.
    ASSERT_TRUE(heardAfter(mark, "? ERR\r\n"));
    EXPECT_EQ(f.heard.substr(mark), "[ \b ]\b\r\n? ERR\r\n");
    EXPECT_EQ(bytesFromHost() - before, 2);
}

TEST_F(PaneKeys, EnterTypedInTheLogSendsTheCommandBox) {
    ASSERT_TRUE(startUnit());
    WatchedForm& f = open();
    f.scrollText("progress\r\n");
    const long long before = bytesFromHost();
    const std::size_t mark = f.heard.size();
    QTest::keyClicks(cmd(), "v");
    log()->setFocus();
    ASSERT_EQ(f.focusWidget(), log());
    QTest::keyClick(log(), Qt::Key_Return);
    EXPECT_TRUE(cmd()->text().isEmpty());
    EXPECT_EQ(f.focusWidget(), cmd());
    ASSERT_TRUE(heardAfter(mark, kProbeHeard));
    EXPECT_EQ(f.heard.substr(mark), kProbeHeard);
    EXPECT_EQ(f.logText(), "progress\r\n");  // the log never changes by typing
    EXPECT_EQ(bytesFromHost() - before, 2);
}

class LastCommand : public SimWindow {};

TEST_F(LastCommand, TheLastCommandSentIsStoredAtShutDown) {
    ASSERT_TRUE(startUnit());
    store("lastcmd", "v");
    WatchedForm& f = open();
    const std::size_t mark = f.heard.size();
    cmd()->clear();
    typeCommand("m0");
    ASSERT_TRUE(heardAfter(mark, "m0\r\nM 0\r\n"));
    cmd()->setText("typed, never sent");
    closeAndEnd();
    EXPECT_EQ(stored("lastcmd"), "m0");
    EXPECT_EQ(stored("port"), "COM1");
}

}  // namespace
}  // namespace ondo::app::testing
