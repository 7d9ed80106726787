// The window's controls, their places, the first focus and the resize rule.

#include <QGroupBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <string_view>
#include <vector>

#include "app/app_fixture.h"
#include "app/widgets.h"

namespace ondo::app::testing {
namespace {

struct Control {
    const char* name;
    const char* kind;       // Qt class
    const char* container;  // object name of the parent
    QRect pixels;           // twips / 15
    const char* caption;
    const char* toolTip;
};

const Control kInventory[] = {
    {"labStat", "ondo::app::ClickLabel", "Form1", {16, 312, 281, 33}, "Status", ""},
    {"tRev",
     "ondo::app::ClickLabel",
     "Form1",
     {312, 312, 57, 17},
     "Rev 2.1a",
     "Software version of this utility"},
    {"frComPort",
     "QGroupBox",
     "Form1",
     {16, 8, 105, 43},
     "Com Port",
     "Select the COM port the wideband unit is connected to"},
    {"cboPort", "QComboBox", "frComPort", {32, 16, 65, 21}, "", ""},
    {"frFlashFile", "QGroupBox", "Form1", {16, 56, 353, 81}, "Flash File", ""},
    {"btnFlashStart", "QPushButton", "frFlashFile", {200, 48, 89, 25}, "Start", ""},
    {"btnFlashFile",
     "QPushButton",
     "frFlashFile",
     {296, 16, 49, 25},
     "File ...",
     "Updated firmware files have a .HXF suffix"},
    {"tFlashFileName", "QLineEdit", "frFlashFile", {8, 19, 281, 19}, "", ""},
    {"lBootVersion",
     "ondo::app::ClickLabel",
     "frFlashFile",
     {8, 56, 105, 17},
     "ROM ver.",
     "Last version read from device"},
    {"tText",
     "QPlainTextEdit",
     "Form1",
     {16, 144, 353, 161},
     "",
     "Status and progress information"},
    {"tRx",
     "QPlainTextEdit",
     "Form1",
     {136, 8, 233, 49},
     "",
     "Shows data returned from the device"},
    {"chkRescue",
     "QCheckBox",
     "frFlashFile",
     {8, 40, 73, 17},
     "Rescue?",
     "The hardware rescue re-flash jumper is used with this option"},
    {"btnAbort", "QPushButton", "frFlashFile", {296, 48, 49, 25}, "Abort", ""},
    {"lblData", "QLabel", "Form1", {256, 352, 49, 17}, "", ""},
    {"chkFlashOnly",
     "QCheckBox",
     "frFlashFile",
     {120, 40, 73, 17},
     "Flash only?",
     "Just do the Code flash, no EE update (be careful as code and EE go together)"},
    {"chkEEOnly",
     "QCheckBox",
     "frFlashFile",
     {120, 56, 73, 17},
     "EE only?",
     "Update only the EE memory"},
    {"chkPromptOnComplete",
     "QCheckBox",
     "Form1",
     {312, 328, 65, 17},
     "Prompt?",
     "Notify when flashing complete (default YES)"},
    {"labError", "QLabel", "Form1", {16, 344, 233, 17}, "", ""},
    {"tCmd", "QLineEdit", "Form1", {336, 344, 41, 19}, "", ""},
    {"lCmd",
     "ondo::app::ClickLabel",
     "Form1",
     {312, 347, 25, 17},
     "cmd:",
     "Enter a Command - Will not exceute while flashing"},
    {"shpPort", "ondo::app::PortLamp", "frComPort", {8, 19, 13, 13}, "", ""},
};

QString captionOf(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* p = qobject_cast<QPlainTextEdit*>(w)) return p->toPlainText();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
    return {};
}

// True when the caption fits the room the control's style leaves for text.
bool captionFits(QWidget* w, const QString& caption) {
    QRect room = w->contentsRect();
    if (auto* box = qobject_cast<QCheckBox*>(w)) {
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = caption;
        room = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = caption;
        room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    } else if (!qobject_cast<QLabel*>(w)) {
        return true;  // group box titles and boxes' texts are not captions of a place
    }
    return w->fontMetrics().horizontalAdvance(caption) <= room.width();
}

using Window = WindowTest;

// Places as created: the resize rule, which first runs at load, moves the bottom rows.
TEST_F(Window, EveryControlInItsContainerAndPlace) {
    Form1& f = make();
    for (const Control& c : kInventory) {
        SCOPED_TRACE(c.name);
        auto* w = f.findChild<QWidget*>(QString::fromLatin1(c.name));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(c.container));
        EXPECT_EQ(w->geometry(), c.pixels);
        EXPECT_TRUE(captionFits(w, QString::fromLatin1(c.caption))) << "caption clipped";
    }
    EXPECT_EQ(f.size(), QSize(380, 366));  // client area 5700 x 5490 twips
}

TEST_F(Window, EveryControlWithItsNameKindCaptionAndToolTip) {
    Form1& f = make();
    EXPECT_EQ(child<QLabel>("labStat")->text(), "Status");
    EXPECT_EQ(child<QLabel>("labStat")->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    f.Form_Load();  // the revision; the status line then tells about the ports
    for (const Control& c : kInventory) {
        SCOPED_TRACE(c.name);
        if (std::string_view(c.name) == "labStat") continue;
        auto* w = f.findChild<QWidget*>(QString::fromLatin1(c.name));
        ASSERT_NE(w, nullptr);
        EXPECT_STREQ(w->metaObject()->className(), c.kind);
        EXPECT_EQ(captionOf(w), QString::fromLatin1(c.caption));
        EXPECT_EQ(w->toolTip(), QString::fromLatin1(c.toolTip));
    }
}

TEST_F(Window, TimerTicksEvery100ms) {
    Form1& f = make();
    auto* timer = f.findChild<QTimer*>("Timer1");
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 100);
    EXPECT_TRUE(timer->isActive());
}

TEST_F(Window, ColoursFontsAndStates) {
    Form1& f = load();
    const auto colour = [&](const char* n) {
        return child<QWidget>(n)->palette().color(QPalette::WindowText);
    };
    EXPECT_EQ(colour("lBootVersion"), QColor(0, 0, 255));
    EXPECT_EQ(colour("lblData"), QColor(255, 0, 0));
    EXPECT_EQ(colour("labError"), QColor(255, 0, 0));
    const QFont log = child<QPlainTextEdit>("tText")->font();
    EXPECT_EQ(log.pointSize(), 9);
    EXPECT_TRUE(QFontInfo(log).fixedPitch());
    EXPECT_FALSE(child<QComboBox>("cboPort")->isEditable());
    EXPECT_FALSE(child<QCheckBox>("chkRescue")->isChecked());
    EXPECT_FALSE(child<QCheckBox>("chkFlashOnly")->isChecked());
    EXPECT_FALSE(child<QCheckBox>("chkEEOnly")->isChecked());
    EXPECT_TRUE(child<QLineEdit>("tFlashFileName")->acceptDrops());
    EXPECT_FALSE(child<QGroupBox>("frFlashFile")->acceptDrops());
    EXPECT_FALSE(f.acceptDrops());
    EXPECT_FALSE(f.windowIcon().isNull());
    EXPECT_EQ(f.windowIcon().availableSizes().value(0), QSize(16, 16));
}

TEST_F(Window, TabOrderFollowsTheInventory) {
    Form1& f = load();
    const char* order[] = {"cboPort",      "btnFlashStart", "btnFlashFile",        "tFlashFileName",
                           "tText",        "tRx",           "chkRescue",           "btnAbort",
                           "chkFlashOnly", "chkEEOnly",     "chkPromptOnComplete", "tCmd"};
    std::vector<QWidget*> stops;
    for (const char* n : order) stops.push_back(child<QWidget>(n));
    // The next stop in the focus chain, past the inner parts of compound widgets.
    const auto next = [&](QWidget* w) {
        do w = w->nextInFocusChain();
        while (std::find(stops.begin(), stops.end(), w) == stops.end());
        return w;
    };
    for (std::size_t i = 1; i < stops.size(); ++i)
        EXPECT_EQ(next(stops[i - 1]), stops[i]) << order[i - 1];
    EXPECT_EQ(next(stops.back()), stops.front());
    for (const char* n : {"labStat", "tRev", "lBootVersion", "lblData", "labError", "lCmd",
                          "shpPort", "frComPort", "frFlashFile"})
        EXPECT_EQ(child<QWidget>(n)->focusPolicy(), Qt::NoFocus) << n;
}

TEST_F(Window, FirstFocusIsThePortListWhoseHandlerRunsOnceMore) {
    Form1& f = load();
    const auto probes = [&] {
        return std::count(serial.calls.begin(), serial.calls.end(), "SioReset(0,2,2)");
    };
    EXPECT_EQ(probes(), 1);  // the build of the load
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    QTest::qWait(50);
    EXPECT_EQ(QApplication::focusWidget(), child<QWidget>("cboPort"));
    EXPECT_EQ(probes(), 2);  // the first focus built the list once more, and only once
}

TEST_F(Window, FocusFromTheKeyboardBuildsThePortListAgain) {
    Form1& f = load();
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    QTest::qWait(50);
    const auto before = serial.calls.size();
    child<QWidget>("tCmd")->setFocus(Qt::TabFocusReason);
    child<QWidget>("cboPort")->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(serial.calls.size(), before + 9);  // COM1 to COM9 probed
}

TEST_F(Window, PortListShowsTheOpenedPortAndTheIndicator) {
    serial.present = {0, 3};
    store("port", "COM4");
    Form1& f = load();
    auto* list = child<QComboBox>("cboPort");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(0), "COM1");
    EXPECT_EQ(list->itemText(1), "COM4");
    EXPECT_EQ(list->currentText(), "COM4");
    EXPECT_TRUE(f.link().PortOpen);
    // The unit did not answer the greeting.
    EXPECT_EQ(child<PortLamp>("shpPort")->fillColour(), QColor(255, 0, 0));
    f.setIndicator(Indicator::Green);
    EXPECT_EQ(child<PortLamp>("shpPort")->fillColour(), QColor(0, 255, 0));
    f.setIndicator(Indicator::Neutral);
    EXPECT_EQ(child<PortLamp>("shpPort")->fillColour(), f.palette().color(QPalette::Button));
}

TEST_F(Window, SeveralPortsAndNoRememberedOneSelectNothing) {
    serial.present = {0, 1};
    Form1& f = load();
    EXPECT_EQ(child<QComboBox>("cboPort")->currentIndex(), -1);
    EXPECT_EQ(f.portListText(), "");
    EXPECT_FALSE(f.link().PortOpen);
}

TEST_F(Window, UserSelectionOpensThePort) {
    serial.present = {0, 1};
    Form1& f = load();
    f.show();
    auto* list = child<QComboBox>("cboPort");
    list->setFocus(Qt::ActiveWindowFocusReason);  // no new visit of the list
    QTest::keyClick(list, Qt::Key_Down);          // the user picks the first entry
    EXPECT_EQ(f.link().PortName, "COM1");
    EXPECT_TRUE(f.link().PortOpen);
}

using Resize = WindowTest;

TEST_F(Resize, NarrowerThanTheMinimumComesBackToIt) {
    Form1& f = load();
    f.show();
    f.resize(100, 500);
    EXPECT_EQ(f.outerWidth(), f.MinWidth);
    EXPECT_EQ(f.size(), QSize(380, 500));  // the other measure keeps what it was given
    f.resize(500, 100);
    EXPECT_EQ(f.outerHeight(), f.MinHeight);
    EXPECT_EQ(f.size(), QSize(500, 366));
}

// The platform's frame, where it draws one, shows up only once the window is on the screen; the
// minimum then includes it and the window keeps its creation client size.
TEST_F(Resize, FrameKnownAfterTheShowJoinsTheMinimum) {
    Form1& f = load();
    f.show();
    const QSize frame = f.frameGeometry().size() - f.size();
    EXPECT_EQ(f.size(), QSize(380, 366));
    EXPECT_EQ(f.MinWidth, (380 + frame.width()) * 15);
    EXPECT_EQ(f.MinHeight, (366 + frame.height()) * 15);
}

TEST_F(Resize, SavedOuterSizeSurvivesARunWithAFrame) {
    store("formwidth", " 9000");
    store("formheight", " 7500");
    load().show();
    EXPECT_EQ(form->outerWidth(), 9000);
    EXPECT_EQ(form->outerHeight(), 7500);
    closeAndEnd();
    EXPECT_EQ(stored("formwidth"), " 9000");  // the window does not grow by its frame
    EXPECT_EQ(stored("formheight"), " 7500");
}

TEST_F(Resize, ControlsForAnOuterSize120WiderAnd405Higher) {
    Form1& f = load();
    f.show();
    setOuterSize(5820, 5895);
    EXPECT_EQ(child<QWidget>("tText")->size(), QSize(353, 161));
    EXPECT_EQ(child<QWidget>("tRx")->width(), 233);
    EXPECT_EQ(child<QWidget>("labStat")->y(), 311);  // 4665
    EXPECT_EQ(child<QWidget>("tRev")->y(), 311);
    EXPECT_EQ(child<QWidget>("chkPromptOnComplete")->y(), 327);  // 4905
    EXPECT_EQ(child<QWidget>("tCmd")->y(), 343);                 // 5145
    EXPECT_EQ(child<QWidget>("labError")->y(), 343);
    EXPECT_EQ(child<QWidget>("lCmd")->y(), 346);     // 5190
    EXPECT_EQ(child<QWidget>("lblData")->y(), 346);  // 90 above its creation top
}

TEST_F(Resize, LargerWindowGrowsTheLogAndThePaneAndCarriesTheBottomRows) {
    Form1& f = load();
    f.show();
    setOuterSize(7500, 6750);
    EXPECT_EQ(child<QWidget>("tText")->size(), QSize(465, 218));
    EXPECT_EQ(child<QWidget>("tRx")->size(), QSize(345, 49));
    EXPECT_EQ(child<QWidget>("labStat")->geometry(), QRect(16, 368, 281, 33));
    EXPECT_EQ(child<QWidget>("lblData")->geometry(), QRect(256, 403, 49, 17));
    // Nothing in the frames moves.
    EXPECT_EQ(child<QWidget>("frFlashFile")->geometry(), QRect(16, 56, 353, 81));
    EXPECT_EQ(child<QWidget>("btnAbort")->geometry(), QRect(296, 48, 49, 25));
}

TEST_F(Resize, MaximizedChangesNoControl) {
    Form1& f = load();
    f.show();
    f.resize(400, 400);
    const QRect log = child<QWidget>("tText")->geometry();
    const QRect status = child<QWidget>("labStat")->geometry();
    f.showMaximized();
    QTest::qWait(20);
    if (!f.isMaximized()) GTEST_SKIP() << "this platform does not maximize";
    EXPECT_EQ(child<QWidget>("tText")->geometry(), log);
    EXPECT_EQ(child<QWidget>("labStat")->geometry(), status);
}

}  // namespace
}  // namespace ondo::app::testing
