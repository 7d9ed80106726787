// The window: its controls, the settings it reads at start-up and writes at shut-down, the keys
// of its command console, choosing and viewing the firmware file, the status line and panes.

#include "window/window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QMimeData>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QUrl>

#include "app/keys.h"
#include "app/twips.h"
#include "app/widgets.h"

namespace ondo::app::testing {
namespace {

// clang-format off
struct Control { const char* name; const char* kind; const char* in; QRect pixels; const char* caption; const char* tip; };
const Control kControls[] = {
    {"labStat", "ondo::app::ClickLabel", "Form1", {16, 312, 281, 33}, "Status", ""},
    {"tRev", "ondo::app::ClickLabel", "Form1", {312, 312, 57, 17}, "Rev 2.1a", "Software version of this utility"},
    {"frComPort", "QGroupBox", "Form1", {16, 8, 105, 43}, "Com Port", "Select the COM port the wideband unit is connected to"},
    {"cboPort", "QComboBox", "frComPort", {32, 16, 65, 21}, "", ""},
    {"frFlashFile", "QGroupBox", "Form1", {16, 56, 353, 81}, "Flash File", ""},
    {"btnFlashStart", "QPushButton", "frFlashFile", {200, 48, 89, 25}, "Start", ""},
    {"btnFlashFile", "QPushButton", "frFlashFile", {296, 16, 49, 25}, "File ...", "Updated firmware files have a .HXF suffix"},
    {"tFlashFileName", "QLineEdit", "frFlashFile", {8, 19, 281, 19}, "", ""},
    {"lBootVersion", "ondo::app::ClickLabel", "frFlashFile", {8, 56, 105, 17}, "ROM ver.", "Last version read from device"},
    {"tText", "QPlainTextEdit", "Form1", {16, 144, 353, 161}, "", "Status and progress information"},
    {"tRx", "QPlainTextEdit", "Form1", {136, 8, 233, 49}, "", "Shows data returned from the device"},
    {"chkRescue", "QCheckBox", "frFlashFile", {8, 40, 73, 17}, "Rescue?", "The hardware rescue re-flash jumper is used with this option"},
    {"btnAbort", "QPushButton", "frFlashFile", {296, 48, 49, 25}, "Abort", ""},
    {"lblData", "QLabel", "Form1", {256, 352, 49, 17}, "", ""},
    {"chkFlashOnly", "QCheckBox", "frFlashFile", {120, 40, 73, 17}, "Flash only?", "Just do the Code flash, no EE update (be careful as code and EE go together)"},
    {"chkEEOnly", "QCheckBox", "frFlashFile", {120, 56, 73, 17}, "EE only?", "Update only the EE memory"},
    {"chkPromptOnComplete", "QCheckBox", "Form1", {312, 328, 65, 17}, "Prompt?", "Notify when flashing complete (default YES)"},
    {"labError", "QLabel", "Form1", {16, 344, 233, 17}, "", ""},
    {"tCmd", "QLineEdit", "Form1", {336, 344, 41, 19}, "", ""},
    {"lCmd", "ondo::app::ClickLabel", "Form1", {312, 347, 25, 17}, "cmd:", "Enter a Command - Will not exceute while flashing"},
    {"shpPort", "ondo::app::PortLamp", "frComPort", {8, 19, 13, 13}, "", ""},
};
// clang-format on

QString captionOf(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* p = qobject_cast<QPlainTextEdit*>(w)) return p->toPlainText();
    return {};
}

// True when the caption fits the room the control's style leaves for text (labels and buttons).
bool captionFits(QWidget* w, const QString& caption) {
    QRect room = w->contentsRect();
    auto* button = qobject_cast<QAbstractButton*>(w);
    if (button) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = caption;
        room = button->style()->subElementRect(qobject_cast<QCheckBox*>(w)
                                                   ? QStyle::SE_CheckBoxContents
                                                   : QStyle::SE_PushButtonContents,
                                               &option, button);
    } else if (!qobject_cast<QLabel*>(w)) {
        return true;
    }
    return w->fontMetrics().horizontalAdvance(caption) <= room.width();
}

TEST_F(WindowTest, EveryControlWithItsKindPlaceCaptionTipAndTabStop) {
    TestForm& f = make();
    for (const Control& c : kControls) {  // places as created: the resize rule runs at load
        SCOPED_TRACE(c.name);
        QWidget* w = child<QWidget>(c.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), c.in);
        EXPECT_EQ(w->geometry(), c.pixels);
        EXPECT_STREQ(w->metaObject()->className(), c.kind);
        EXPECT_TRUE(captionFits(w, QString::fromLatin1(c.caption))) << "caption clipped";
        if (std::string(c.name) != "labStat") EXPECT_EQ(w->toolTip(), c.tip);
    }
    EXPECT_EQ(f.size(), QSize(380, 366));
    f.Form_Load();
    for (const Control& c : kControls)
        if (std::string(c.name) != "labStat")
            EXPECT_EQ(captionOf(child<QWidget>(c.name)), c.caption);
    EXPECT_EQ(f.windowTitle(), "Ondo FLASH utility - Rev 2.1a");
    const char* order[] = {"cboPort",      "btnFlashStart", "btnFlashFile",        "tFlashFileName",
                           "tText",        "tRx",           "chkRescue",           "btnAbort",
                           "chkFlashOnly", "chkEEOnly",     "chkPromptOnComplete", "tCmd",
                           "cboPort"};
    std::vector<QWidget*> stops;
    for (const char* n : order) stops.push_back(child<QWidget>(n));
    for (std::size_t i = 1; i < stops.size(); ++i) {
        QWidget* w = stops[i - 1];
        do w = w->nextInFocusChain();
        while (std::find(stops.begin(), stops.end(), w) == stops.end());
        EXPECT_EQ(w, stops[i]) << "after " << order[i - 1];
    }
}

// What the window makes of the store at start-up and writes back at shut-down.
struct Settled {
    const char* name;
    std::map<std::string, std::string> before;
    std::function<void(WindowTest&, TestForm&)> check;  // after the load
    std::map<std::string, std::string> after;           // the store after shut-down
};
void PrintTo(const Settled& s, std::ostream* out) {
    *out << s.name;
}
class StartAndShutDown : public WindowTest, public ::testing::WithParamInterface<Settled> {};

TEST_P(StartAndShutDown, ReadAndWriteTheStore) {
    for (const auto& [key, value] : GetParam().before)
        store(key, value == "%file" ? writeFile("good.HXF", kGoodHxf) : value);
    TestForm& f = load();
    if (GetParam().check) GetParam().check(*this, f);
    closeAndEnd();
    for (const auto& [key, value] : GetParam().after) EXPECT_EQ(stored(key), value) << key;
}

int screenTwips(bool height) {
    const QRect g = QGuiApplication::primaryScreen()->geometry();
    return toTwips(height ? g.height() : g.width());
}

INSTANTIATE_TEST_SUITE_P(
    Window, StartAndShutDown,
    ::testing::Values(
        Settled{"EmptyStore",
                {},
                [](WindowTest& t, TestForm& f) {
                    EXPECT_EQ(f.pos(), QPoint(0, 0));
                    EXPECT_EQ(f.outerWidth() * 10000 + f.outerHeight(), 5700 * 10000 + 5490);
                    EXPECT_EQ(f.MinWidth * 10000 + f.MinHeight, 5700 * 10000 + 5490);
                    EXPECT_EQ(f.sequence().PromptSetting, " 1");
                    EXPECT_EQ(f.sequence().EESize, 512);
                    EXPECT_FALSE(f.image().FlashFileValid);
                    EXPECT_EQ(t.child<QLabel>("labStat")->text(), "No COM port available");
                    EXPECT_FALSE(t.child<QPushButton>("btnAbort")->isEnabled());
                },
                {{"port", ""}, {"formwidth", " 5700"}, {"prompt", " 1"}, {"lastcmd", ""}}},
        Settled{"MeasuresInTheStoreFormat",
                {{"formtop", "-15"},
                 {"formleft", " 300"},
                 {"formwidth", " 9000"},
                 {"formheight", " 6000"}},
                [](WindowTest&, TestForm& f) {
                    EXPECT_EQ(f.outerWidth(), 9000);
                    EXPECT_EQ(f.MinWidth, 5700) << "the minimum is the creation size";
                },
                {{"formtop", "-15"},
                 {"formleft", " 300"},
                 {"formwidth", " 9000"},
                 {"formheight", " 6000"}}},
        Settled{"SmallSizeRaisedLenientNumbersNegativePlaces",
                {{"formwidth", " 3000"},
                 {"formheight", " 1500"},
                 {"formleft", "  150abc"},
                 {"formtop", "-150"}},
                [](WindowTest&, TestForm& f) {
                    EXPECT_EQ(f.pos(), QPoint(10, -10));
                    EXPECT_EQ(f.outerWidth() * 10000 + f.outerHeight(), 5700 * 10000 + 5490);
                },
                {{"formleft", " 150"}, {"formwidth", " 5700"}}},
        Settled{"TopAtScreenHeightMinus400IsNotApplied",
                {{"formtop", formatNumber(screenTwips(true) - 400)},
                 {"formleft", formatNumber(screenTwips(false) - 401)}},
                [](WindowTest&, TestForm& f) {
                    EXPECT_EQ(f.pos(), QPoint(toPixels(screenTwips(false) - 401), 0));
                }},
        Settled{"TopAtScreenHeightMinus401IsApplied",
                {{"formtop", formatNumber(screenTwips(true) - 401)}},
                [](WindowTest&, TestForm& f) {
                    EXPECT_EQ(f.pos().y(), toPixels(screenTwips(true) - 401));
                }},
        Settled{"PromptZeroUntickedAndWrittenBackUnchanged",
                {{"prompt", "0"}},
                [](WindowTest& t, TestForm& f) {
                    EXPECT_FALSE(t.child<QCheckBox>("chkPromptOnComplete")->isChecked());
                    EXPECT_EQ(f.sequence().PromptSetting, "0");
                },
                {{"prompt", "0"}}},
        Settled{"PromptOneWithoutBlankTicks",
                {{"prompt", "1"}},
                [](WindowTest& t, TestForm&) {
                    EXPECT_TRUE(t.child<QCheckBox>("chkPromptOnComplete")->isChecked());
                    t.child<QCheckBox>("chkPromptOnComplete")->click();  // the user unticks it
                },
                {{"prompt", " 0"}}},
        Settled{"LastCommandInTheBoxNotInLastCmdAndEmptiedWhenNothingSent",
                {{"lastcmd", "v"}},
                [](WindowTest& t, TestForm& f) {
                    EXPECT_EQ(t.child<QLineEdit>("tCmd")->text(), "v");
                    EXPECT_EQ(f.console().LastCmd, "");
                },
                {{"lastcmd", ""}}},
        Settled{"RememberedFileIsRead",
                {{"flashFile", "%file"}},
                [](WindowTest&, TestForm& f) {
                    EXPECT_TRUE(f.image().FlashFileValid);
                    EXPECT_EQ(f.image().FlashImage[0] + f.image().EEimage[0x10], 0x55 + 0xA5);
                    EXPECT_EQ(f.FlashFilePath.substr(f.FlashFilePath.size() - 8), "good.HXF");
                }},
        Settled{"EmptiedFileBoxKeepsTheStoredFile",
                {{"flashFile", "/no/such/firmware.HXF"}},
                [](WindowTest& t, TestForm&) { t.child<QLineEdit>("tFlashFileName")->clear(); },
                {{"flashFile", "/no/such/firmware.HXF"}}},
        Settled{"TypedNameWithoutEnterIsSaved",
                {},
                [](WindowTest& t, TestForm&) {
                    t.child<QLineEdit>("tFlashFileName")->setText("typed.HXF");
                },
                {{"flashFile", "typed.HXF"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, ShutDownClosesThePortOnceAndTerminateRunsOnce) {
    serial.present = {2};
    load();
    form->close();
    form->Form_Terminate();
    EXPECT_EQ(serial.calls.back(), "SioDone(2)");
    const std::size_t calls = serial.calls.size();
    form.reset();
    EXPECT_EQ(serial.calls.size(), calls) << "the destructor neither writes nor closes again";
    EXPECT_EQ(stored("port"), "COM3");
}

TEST_F(WindowTest, ConsoleKeysGoOutExactlyAsTyped) {
    serial.present = {0};
    store("lastcmd", "restored");
    TestForm& f = shown();
    QPlainTextEdit* pane = child<QPlainTextEdit>("tRx");
    QPlainTextEdit* log = child<QPlainTextEdit>("tText");
    QTest::keyClick(cmd(), Qt::Key_Up);
    EXPECT_TRUE(cmd()->text().isEmpty()) << "nothing sent yet: Up empties a restored command";
    serial.sent.clear();
    QTest::keyClicks(cmd(), "tf");
    QTest::keyClick(cmd(), Qt::Key_Return);
    QTest::keyClick(cmd(), Qt::Key_Up);
    EXPECT_EQ(cmd()->text(), "tf");
    EXPECT_EQ(cmd()->cursorPosition(), 2);
    QTest::keyClick(log, Qt::Key_Return);  // Enter in the log sends the box
    EXPECT_EQ(serial.sent, "tf\rtf\r");
    EXPECT_TRUE(cmd()->text().isEmpty());
    EXPECT_NE(f.heard.find("[ tf ]"), std::string::npos);
    const std::string paneBefore = f.paneText();
    cmd()->setText("old");
    QTest::keyClick(pane, Qt::Key_M);
    EXPECT_EQ(cmd()->text(), "m");
    EXPECT_EQ(cmd()->cursorPosition(), 1);
    EXPECT_EQ(f.focusWidget(), cmd());
    QTest::keyClick(log, Qt::Key_Backspace);
    EXPECT_EQ(cmd()->text(), QString(QChar(8)));
    QTest::keyClick(pane, Qt::Key_Home);
    EXPECT_EQ(cmd()->text(), QString(QChar(8))) << "arrows still move through a pane";
    EXPECT_EQ(f.paneText(), paneBefore);
    std::string control = "a";  // every control character, pasted, goes out as it stands
    for (int c = 1; c < 32; ++c) control += static_cast<char>(c);
    control += "\x7f\x80\xffz" + std::string(20000, 'x');
    cmd()->setText(QString::fromLatin1(control.data(), static_cast<int>(control.size())));
    serial.sent.clear();
    QTest::keyClick(cmd(), Qt::Key_Return);
    EXPECT_EQ(serial.sent, control + "\r");
    EXPECT_LE(f.paneText().size(), control.size() + 4) << "the echo's end, the pane trimmed";
    QTest::keyClick(cmd(), Qt::Key_Up);
    EXPECT_EQ(cmd()->text().toLatin1().toStdString(), control);
    {
        const Link::RunClaim run(f.link());
        serial.sent.clear();
        QTest::keyClick(cmd(), Qt::Key_Return);
        QTest::keyClick(pane, Qt::Key_X);
        EXPECT_EQ(serial.sent, "") << "nothing goes out while a run owns the unit";
        EXPECT_EQ(cmd()->text().size(), static_cast<int>(control.size()));
    }
    f.scrollText("log");
    QTest::mouseClick(child<QLabel>("lCmd"), Qt::LeftButton);
    EXPECT_EQ(f.paneText() + "|" + f.logText(), "|log") << "cmd: empties the pane only";
    closeAndEnd();
    EXPECT_EQ(stored("lastcmd"), control) << "the last command survives the store whole";
    serial.present = {0};
    load();
    EXPECT_EQ(cmd()->text().toLatin1().toStdString(), control);
}

TEST(KeyCodes, AsTheConsoleKnowsThem) {
    const std::tuple<Qt::Key, QString, Qt::KeyboardModifiers, int> chars[] = {
        {Qt::Key_Return, "\r", {}, 13},
        {Qt::Key_Enter, "", {}, 13},
        {Qt::Key_Backspace, "", {}, 8},
        {Qt::Key_Escape, "", {}, 27},
        {Qt::Key_A, "a", {}, 'a'},
        {Qt::Key_A, "", Qt::ControlModifier, 1},
        {Qt::Key_Tab, "\t", {}, 0},
        {Qt::Key_Up, "", {}, 0},
        {Qt::Key_unknown, QString(QChar(0x20AC)), {}, 0}};
    for (const auto& [key, text, modifiers, code] : chars) {
        QKeyEvent e(QEvent::KeyPress, key, modifiers, text);
        EXPECT_EQ(characterCode(e), code) << key;
    }
    for (const auto& [key, code] : {std::pair{Qt::Key_Up, 38},
                                    {Qt::Key_Down, 40},
                                    {Qt::Key_M, int('M')},
                                    {Qt::Key_F1, 112}}) {
        QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
        EXPECT_EQ(keyCode(e), code) << key;
    }
}

TEST_F(WindowTest, ChoosingReadingAndViewingTheFirmwareFile) {
    const std::string good = writeFile("good.HXF", kGoodHxf);
    const std::string other = writeFile("other.HXF", "C:010001006698\r\n");
    TestForm& f = shown();
    QLineEdit* box = child<QLineEdit>("tFlashFileName");
    QTest::keyClicks(box, "missing.HXF");
    QTest::keyClick(box, Qt::Key_Enter);
    EXPECT_EQ(status(), "No File missing.HXF");
    box->setText(QString::fromStdString(good));
    EXPECT_FALSE(f.image().FlashFileValid) << "typing alone reads nothing";
    EXPECT_EQ(f.FlashFilePath, good);
    QTest::mouseClick(child<QPushButton>("btnFlashFile"), Qt::LeftButton);  // cancelled
    EXPECT_EQ(presets, std::vector<std::string>{good});
    EXPECT_TRUE(f.image().FlashFileValid) << "a cancelled dialog reads the box again";
    EXPECT_EQ(status(), "Read file OK (2 lines)");
    QTest::mouseClick(child<QLabel>("tRev"), Qt::LeftButton);
    EXPECT_EQ(f.logText(), kGoodHxf) << "the revision label shows the file's text";
    EXPECT_EQ(status(), "Reading flash file ...");
    chosenFile = other;
    QTest::mouseClick(child<QPushButton>("btnFlashFile"), Qt::LeftButton);
    EXPECT_EQ(box->text().toStdString(), other);
    EXPECT_EQ(f.image().FlashImage[1], 0x66);
    auto drop = [&](QMimeData& data) {
        QDragEnterEvent enter({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(box, &enter);
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(box, &dropped);
        EXPECT_EQ(enter.isAccepted(), dropped.isAccepted());
        return dropped.isAccepted();
    };
    QMimeData one, two, text, remote;
    one.setUrls({QUrl::fromLocalFile(QString::fromStdString(good))});
    two.setUrls({QUrl::fromLocalFile(QString::fromStdString(other)),
                 QUrl::fromLocalFile(QString::fromStdString(good))});
    text.setText(QString::fromStdString(good));
    remote.setUrls({QUrl("https://example.com/a.HXF")});
    f.image().FlashImage[1] = 0;
    EXPECT_TRUE(drop(one));
    EXPECT_EQ(box->text().toStdString(), good);
    EXPECT_EQ(status(), "Read file OK (2 lines)");
    {  // while a run owns the unit no way of reading changes the image, the box or the name
        const Link::RunClaim run(f.link());
        QMimeData otherOne;
        otherOne.setUrls({QUrl::fromLocalFile(QString::fromStdString(other))});
        presets.clear();
        const auto held = f.image().FlashImage;
        const std::pair<const char*, std::function<void()>> reads[] = {
            {"Enter", [&] { QTest::keyClick(box, Qt::Key_Return); }},
            {"dialog", [&] { f.btnFlashFile_Click(); }},
            {"drop", [&] { drop(otherOne); }}};
        for (const auto& [name, read] : reads) {
            SCOPED_TRACE(name);
            f.status(Colour::Plain, "");
            read();
            EXPECT_TRUE(f.image().FlashImage == held && f.image().FlashFileValid);
            EXPECT_EQ(box->text().toStdString() + "|" + f.FlashFilePath, good + "|" + good);
            EXPECT_EQ(status(), "Flash file not read while flashing");
        }
        EXPECT_TRUE(presets.empty()) << "the dialog was not even offered";
    }
    EXPECT_TRUE(drop(two));
    EXPECT_TRUE(box->text().isEmpty()) << "two files: the box empties, nothing is read";
    EXPECT_EQ(f.image().FlashImage[1], 0);
    box->setText("keep.HXF");
    EXPECT_FALSE(drop(text));
    EXPECT_FALSE(drop(remote));
    EXPECT_EQ(box->text(), "keep.HXF");
    box->setText("/no/such/file.HXF");
    f.logReplace("log stays");
    QTest::mouseClick(child<QLabel>("tRev"), Qt::LeftButton);
    EXPECT_EQ(status(), "No File /no/such/file.HXF");
    EXPECT_EQ(child<QLabel>("labStat")->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(f.logText(), "log stays");
    QTest::mouseClick(child<QLabel>("labStat"), Qt::LeftButton);
    EXPECT_EQ(f.logText(), "") << "a click on the status line empties the log";
    EXPECT_EQ(status(), "No File /no/such/file.HXF");
    const QString name = QString::fromUtf8("Prüfung-€-файл.HXF");  // shows as typed
    const std::string typed = writeFile(name.toUtf8().constData(), kGoodHxf);
    box->setText(QString::fromStdString(typed));
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_TRUE(f.image().FlashFileValid);
    EXPECT_TRUE(child<QPlainTextEdit>("tText")->toPlainText().contains(name));
    std::remove(typed.c_str());
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_TRUE(status().contains("No File") && status().contains(name)) << status().toStdString();
}

TEST_F(WindowTest, StatusLinePanesLabelsAndTheLamp) {
    serial.present = {0, 3};
    unit.silent = true;
    store("port", "COM4");
    TestForm& f = shown();
    EXPECT_EQ(child<QComboBox>("cboPort")->count(), 2);
    EXPECT_EQ(child<QComboBox>("cboPort")->currentText(), "COM4");
    EXPECT_EQ(child<PortLamp>("shpPort")->fillColour(), QColor(255, 0, 0)) << "no answer";
    f.setIndicator(Indicator::Green);
    EXPECT_EQ(child<PortLamp>("shpPort")->fillColour(), QColor(0, 255, 0));
    const auto colour = [&] {
        return child<QLabel>("labStat")->palette().color(QPalette::WindowText);
    };
    f.status(Colour::Error, "Invalid response ><b>x</b>");
    EXPECT_EQ(status(), "Invalid response ><b>x</b>");
    EXPECT_EQ(child<QLabel>("labStat")->textFormat(), Qt::PlainText);
    EXPECT_EQ(colour(), QColor(255, 0, 0));
    f.status(Colour::Status, "Fine");
    EXPECT_EQ(colour(), QColor(0, 128, 0));
    f.status(Colour::Plain, "Plain");
    EXPECT_EQ(colour(), QColor(0, 0, 0));
    f.logReplace(std::string(3071, 'x') + std::string(1026, 'k'));
    f.scrollText("one\r\n");
    EXPECT_EQ(f.logText(), std::string(1026, 'k') + "one\r\n");
    auto* tText = child<QPlainTextEdit>("tText");
    EXPECT_EQ(tText->toPlainText().toStdString(), std::string(1026, 'k') + "one\n");
    EXPECT_EQ(tText->textCursor().position(), tText->toPlainText().size());
    f.dataHistory(std::string(2000, 'p') + std::string("a\0b", 3));
    auto* tRx = child<QPlainTextEdit>("tRx");
    EXPECT_EQ(tRx->toPlainText().size(), static_cast<int>(f.paneText().size()));
    EXPECT_EQ(f.paneText().substr(f.paneText().size() - 3), std::string("a\0b", 3));
    f.setDataLabel(" 12");
    f.setVersionLabel("ROM 0023");
    f.setErrorLabel("*** blank line (3) detected");
    f.setStartButton("Wait", false);
    f.setAbortEnabled(true);
    EXPECT_EQ(child<QLabel>("lblData")->text() + child<QLabel>("lBootVersion")->text() +
                  child<QLabel>("labError")->text() + child<QPushButton>("btnFlashStart")->text(),
              " 12ROM 0023*** blank line (3) detectedWait");
    EXPECT_FALSE(child<QPushButton>("btnFlashStart")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("btnAbort")->isEnabled());
}

TEST_F(WindowTest, FocusBuildsThePortListAndResizingKeepsTheRules) {
    serial.present = {0, 1};
    TestForm& f = load();
    const auto probes = [&] {
        return std::count(serial.calls.begin(), serial.calls.end(), "SioReset(0,2,2)");
    };
    EXPECT_EQ(probes(), 1) << "the build of the load";
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    EXPECT_EQ(QApplication::focusWidget(), child<QWidget>("cboPort"));
    EXPECT_EQ(probes(), 2) << "the first focus builds it once more, and only once";
    EXPECT_EQ(child<QComboBox>("cboPort")->currentIndex(), -1) << "two ports, none remembered";
    child<QWidget>("tCmd")->setFocus(Qt::TabFocusReason);
    child<QWidget>("cboPort")->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(probes(), 3);
    QTest::keyClick(child<QComboBox>("cboPort"), Qt::Key_Down);  // the user picks COM1
    EXPECT_TRUE(f.link().PortOpen);
    EXPECT_EQ(f.link().PortName, "COM1");
    const QSize frame = f.frameGeometry().size() - f.size();
    EXPECT_EQ(f.MinWidth, (380 + frame.width()) * 15);
    f.resize(100, 500);
    EXPECT_EQ(f.size(), QSize(380, 500)) << "narrower than the minimum comes back to it";
    f.resize(QSize(7500 / 15, 6750 / 15) - frame);
    EXPECT_EQ(child<QWidget>("tText")->size(), QSize(465, 218));
    EXPECT_EQ(child<QWidget>("tRx")->size(), QSize(345, 49));
    EXPECT_EQ(child<QWidget>("labStat")->geometry(), QRect(16, 368, 281, 33));
    EXPECT_EQ(child<QWidget>("lblData")->geometry(), QRect(256, 403, 49, 17));
    EXPECT_EQ(child<QWidget>("btnAbort")->geometry(), QRect(296, 48, 49, 25));
}

}  // namespace
}  // namespace ondo::app::testing
