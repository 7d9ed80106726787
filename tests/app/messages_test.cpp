// The status line, the progress log and the data pane as the engine writes them.

#include "core/messages.h"

#include <QTest>

#include "app/app_fixture.h"

namespace ondo::app::testing {
namespace {

using Messages = WindowTest;

QColor textColour(const QLabel* label) {
    return label->palette().color(QPalette::WindowText);
}

TEST_F(Messages, StatusColourFollowsTheLatestCall) {
    Form1& f = load();
    auto* labStat = child<QLabel>("labStat");
    msgError(f, "Bad");
    EXPECT_EQ(labStat->text(), "Bad");
    EXPECT_EQ(textColour(labStat), QColor(255, 0, 0));
    msgStatus(f, "Fine");
    EXPECT_EQ(labStat->text(), "Fine");
    EXPECT_EQ(textColour(labStat), QColor(0, 128, 0));
    msg(f, "Plain");
    EXPECT_EQ(labStat->text(), "Plain");
    EXPECT_EQ(textColour(labStat), QColor(0, 0, 0));
}

TEST_F(Messages, LabelTextIsNeverRichText) {
    Form1& f = load();
    msgError(f, "Invalid response ><b>x</b>");
    EXPECT_EQ(child<QLabel>("labStat")->textFormat(), Qt::PlainText);
    EXPECT_EQ(child<QLabel>("labStat")->text(), "Invalid response ><b>x</b>");
}

TEST_F(Messages, LogOfExactly4096IsNotTrimmedBeforeTheNextAppend) {
    Form1& f = load();
    f.scrollText(std::string(4096, 'a'));
    f.scrollText("b");
    EXPECT_EQ(f.logText(), std::string(4096, 'a') + "b");
}

TEST_F(Messages, LogOf4097IsCutToItsLast1026BeforeTheAppend) {
    Form1& f = load();
    std::string log = std::string(3071, 'x') + std::string(1026, 'k');
    f.logReplace(log);
    f.scrollText("new");
    EXPECT_EQ(f.logText(), std::string(1026, 'k') + "new");
    EXPECT_EQ(child<QPlainTextEdit>("tText")->toPlainText().toStdString(), f.logText());
}

TEST_F(Messages, PaneReachingExactly1024IsNotTrimmed) {
    Form1& f = load();
    f.dataHistory(std::string(1000, 'p'));
    f.dataHistory(std::string(24, 'q'));
    EXPECT_EQ(f.paneText().size(), 1024u);
}

TEST_F(Messages, PaneReaching1025KeepsItsLast514) {
    Form1& f = load();
    f.dataHistory(std::string(1000, 'p'));
    f.dataHistory(std::string(25, 'q'));
    EXPECT_EQ(f.paneText(), std::string(489, 'p') + std::string(25, 'q'));
    EXPECT_EQ(child<QPlainTextEdit>("tRx")->toPlainText().toStdString(), f.paneText());
}

TEST_F(Messages, OneAppendOf5000LeavesThePaneAt4489) {
    Form1& f = load();
    f.dataHistory(std::string(5000, 'z'));
    EXPECT_EQ(f.paneText().size(), 4489u);
}

TEST_F(Messages, AppendsShowTheEndWithTheCaretThere) {
    Form1& f = load();
    f.scrollText("one\r\ntwo\r\n");
    auto* tText = child<QPlainTextEdit>("tText");
    EXPECT_EQ(f.logText(), "one\r\ntwo\r\n");  // kept exactly, CR LF included
    EXPECT_EQ(tText->toPlainText(), "one\ntwo\n");
    EXPECT_EQ(tText->textCursor().position(), tText->toPlainText().size());
    EXPECT_FALSE(tText->textCursor().hasSelection());
    f.dataHistory("\nV 0023\r\n");
    auto* tRx = child<QPlainTextEdit>("tRx");
    EXPECT_EQ(tRx->textCursor().position(), tRx->toPlainText().size());
}

TEST_F(Messages, ControlCharactersFromTheUnitStayInTheText) {
    Form1& f = load();
    f.dataHistory(std::string("a\0b", 3));
    EXPECT_EQ(f.paneText(), std::string("a\0b", 3));
    EXPECT_EQ(child<QPlainTextEdit>("tRx")->toPlainText().size(), 3);
}

TEST_F(Messages, ClickOnTheStatusLineEmptiesTheLogOnly) {
    Form1& f = load();
    f.show();
    f.scrollText("progress");
    msg(f, "keep me");
    QTest::mouseClick(child<QLabel>("labStat"), Qt::LeftButton);
    EXPECT_EQ(f.logText(), "");
    EXPECT_TRUE(child<QPlainTextEdit>("tText")->toPlainText().isEmpty());
    EXPECT_EQ(child<QLabel>("labStat")->text(), "keep me");
}

TEST_F(Messages, LabelsAndButtonsTheEngineSets) {
    Form1& f = load();
    f.setDataLabel(" 12");
    f.setVersionLabel("ROM 0023");
    f.setErrorLabel("*** blank line (3) detected");
    f.setStartButton("Wait", false);
    f.setAbortEnabled(true);
    EXPECT_EQ(child<QLabel>("lblData")->text(), " 12");
    EXPECT_EQ(child<QLabel>("lBootVersion")->text(), "ROM 0023");
    EXPECT_EQ(child<QLabel>("labError")->text(), "*** blank line (3) detected");
    EXPECT_EQ(child<QPushButton>("btnFlashStart")->text(), "Wait");
    EXPECT_FALSE(child<QPushButton>("btnFlashStart")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("btnAbort")->isEnabled());
}

TEST_F(Messages, MessageBoxesGoThroughTheInjectedFunction) {
    Form1& f = load();
    answers.push_back(Answer::Cancel);
    const Answer a = f.ask({"line one\rline two", "Title", Buttons::OkCancel, Icon::Exclamation});
    EXPECT_EQ(a, Answer::Cancel);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Title");
}

}  // namespace
}  // namespace ondo::app::testing
