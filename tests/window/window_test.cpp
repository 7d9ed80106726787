// The window headless, on the in-memory serial library and the tick-per-wait clock, or on the
// real serial library and the event-loop wait (the data stream, the simulated unit, stray clicks).

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <csignal>
#include <regex>
#include <sstream>

#include "app/demo_unit.h"
#include "app/form1.h"
#include "app/stop_signals.h"
#include "app/twips.h"
#include "core/settings.h"
#include "link/port_map.h"
#include "link/qtwaiter.h"
#include "support/fake_serial.h"
#include "support/line.h"
#include "support/run.h"
#include "support/scripted_unit.h"
#include "support/sim_process.h"

namespace ondo::app::testing {
namespace {

using namespace ondo::testing;

// The window with everything its data pane was given kept whole, and its progress reports seen.
class TestForm : public Form1 {
  public:
    using Form1::Form1;
    void dataHistory(const std::string& text) override {
        heard += text;
        Form1::dataHistory(text);
    }
    void progress(const Progress& p) override {
        Form1::progress(p);
        if (onProgress) onProgress(p);
    }
    std::string heard;
    std::function<void(const Progress&)> onProgress;
};

// The window, its store in a temporary folder, its message boxes and file dialog answered here.
class WindowTest : public ::testing::Test {
  public:
    WindowTest() {
        serial.present.clear();
        clock.serial = &serial;
    }
    std::string path(const std::string& name) const {
        return dir.filePath(QString::fromStdString(name)).toStdString();
    }
    void store(const std::string& key, const std::string& value) {
        Settings(path("FLASH.ini")).saveKeySetting(key, value);
    }
    std::string stored(const std::string& key) const {
        return Settings(path("FLASH.ini")).keySetting(key);
    }
    void onRealLine(const std::string& device) {  // COM1 the device, no other port present
        Settings s(path("FLASH.ini"));
        for (int n = 1; n <= 9; ++n) s.savePortDevice(n, n == 1 ? device : path("none"));
        s.saveKeySetting("port", "COM1");
        realLine = true;
    }
    TestForm& make(Settings* use = nullptr, bool show = true) {
        if (!use) use = (settings = std::make_unique<Settings>(path("FLASH.ini"))).get();
        if (realLine) library = makeMappedLibrary(*use);
        Form1::Services services{*use, realLine ? *library : serial,
                                 realLine ? static_cast<Waiter&>(waiter) : clock};
        services.ask = [this](QWidget*, const MessageBox& box) {
            if (onAsk) onAsk(box);
            return Answer::Ok;
        };
        services.openFile = [this](QWidget*, const std::string& preset) {
            presets.push_back(preset);
            return chosenFile.empty() ? preset : chosenFile;
        };
        form = std::make_unique<TestForm>(std::move(services));
        clock.onTick = [this] { form->link().Timer1_Timer(); };
        form->Form_Load();
        if (show) form->show();
        QCoreApplication::processEvents();
        return *form;
    }
    template <class W = QWidget>
    W* child(const QString& name) const {
        return form->findChild<W*>(name);
    }
    QLineEdit* cmd() const { return child<QLineEdit>("tCmd"); }
    QLineEdit* fileBox() const { return child<QLineEdit>("tFlashFileName"); }
    std::string file(const std::string& name, const std::string& text) {
        writeFile(path(name), text);
        return path(name);
    }
    void click(const char* name) { QTest::mouseClick(child(name), Qt::LeftButton); }
    void type(const char* text) {
        QTest::keyClicks(cmd(), text);
        QTest::keyClick(cmd(), Qt::Key_Return);
    }
    void closeAndEnd() {
        form->close();
        form.reset();
    }

    QTemporaryDir dir;
    FakeSerial serial;
    TickPerYield clock;
    ScriptedUnit unit{serial, clock};
    bool realLine = false;
    std::unique_ptr<sio::SerialLibrary> library;
    QtWaiter waiter;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<TestForm> form;
    std::function<void(const MessageBox&)> onAsk;
    std::vector<std::string> presets;
    std::string chosenFile;
};

// Two good records: one code byte, one EEPROM byte.
const std::string kGoodHxf = "C:0100000055AA\r\nE:01001000A54A\r\n";

// Runs the event loop until the condition holds; false after ten seconds.
bool spinUntil(const std::function<bool()>& condition) {
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < 10000) QTest::qWait(10);
    return condition();
}

template <class Row>
std::string rowName(const ::testing::TestParamInfo<Row>& info) {
    return info.param.name;
}

// True when the caption fits the room the control's style leaves for text.
bool captionFits(QWidget* w) {
    auto* button = qobject_cast<QAbstractButton*>(w);
    const QString caption = button ? button->text() : qobject_cast<QLabel*>(w)->text();
    QRect room = w->contentsRect();
    if (button) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = caption;
        const bool box = qobject_cast<QCheckBox*>(w);
        room = button->style()->subElementRect(
            box ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents, &option, button);
    }
    return w->fontMetrics().horizontalAdvance(caption) <= room.width();
}

TEST_F(WindowTest, CaptionsFitAndTheTabOrder) {
    make();
    for (const QString& name :
         QString("tRev lBootVersion lCmd btnFlashStart btnFlashFile chkRescue "
                 "btnAbort chkFlashOnly chkEEOnly chkPromptOnComplete")
             .split(' '))
        EXPECT_TRUE(captionFits(child(name))) << name.toStdString();
    const QStringList order = QString(
                                  "cboPort btnFlashStart btnFlashFile tFlashFileName tText tRx "
                                  "chkRescue btnAbort chkFlashOnly chkEEOnly "
                                  "chkPromptOnComplete tCmd")
                                  .split(' ');
    for (int i = 0; i < order.size(); ++i) {
        QWidget* w = child(order[i]);
        do w = w->nextInFocusChain();
        while (!order.contains(w->objectName()));
        EXPECT_EQ(w->objectName(), order[(i + 1) % order.size()])
            << "after " << order[i].toStdString();
    }
}

// The store before start-up ("key=value|...", %file a good firmware file), what the user does, a
// part of what the window shows (view()), and the store after shut-down. COM3 is present, and
// closed once at shut-down.
struct Settled {
    const char* name;
    std::string before;
    std::function<void(WindowTest&)> act;
    std::string shows;
    std::string after;
};
class StartAndShutDown : public WindowTest, public ::testing::WithParamInterface<Settled> {};

std::map<std::string, std::string> keys(const std::string& text) {
    std::map<std::string, std::string> found;
    std::istringstream in(text);
    for (std::string pair; std::getline(in, pair, '|');)
        found[pair.substr(0, pair.find('='))] = pair.substr(pair.find('=') + 1);
    return found;
}

std::string view(WindowTest& t, TestForm& f) {
    std::ostringstream out;
    out << "at " << f.pos().x() << "," << f.pos().y() << " size " << f.outerWidth() << "x"
        << f.outerHeight() << " min " << f.MinWidth << "x" << f.MinHeight << " prompt '"
        << f.sequence().PromptSetting << "' "
        << (t.child<QCheckBox>("chkPromptOnComplete")->isChecked() ? "ticked" : "clear") << " file "
        << (f.image().FlashFileValid ? "read" : "none") << " cmd '" << t.cmd()->text().toStdString()
        << "' last '" << f.console().LastCmd << "'";
    return out.str();
}

TEST_P(StartAndShutDown, ReadAndWriteTheStore) {
    serial.present = {2};
    for (const auto& [key, value] : keys(GetParam().before))
        store(key, value == "%file" ? file("good.HXF", kGoodHxf) : value);
    TestForm& f = make(nullptr, false);
    if (GetParam().act) GetParam().act(*this);
    EXPECT_NE(view(*this, f).find(GetParam().shows), std::string::npos) << view(*this, f);
    const auto closes = std::count(serial.calls.begin(), serial.calls.end(), "SioDone(2)");
    f.close();
    f.Form_Terminate();
    form.reset();
    EXPECT_EQ(std::count(serial.calls.begin(), serial.calls.end(), "SioDone(2)"), closes + 1);
    for (const auto& [key, value] : keys(GetParam().after)) EXPECT_EQ(stored(key), value) << key;
}

// The screen's width or height in twips less some, as stored, or in pixels as the window shows it.
std::string screenLess(bool height, int less, bool pixels = false) {
    const QRect g = QGuiApplication::primaryScreen()->geometry();
    const int twips = toTwips(height ? g.height() : g.width()) - less;
    return pixels ? std::to_string(toPixels(twips)) : formatNumber(twips);
}

INSTANTIATE_TEST_SUITE_P(
    Window, StartAndShutDown,
    ::testing::Values(
        Settled{"EmptyStore",
                "",
                {},
                "at 0,0 size 5700x5490 min 5700x5490 prompt ' 1' ticked file none cmd ''",
                "port=COM3|formwidth= 5700|prompt= 1|lastcmd="},
        Settled{"MeasuresKeptTheMinimumIsTheCreationSizeRememberedFileRead",
                "formtop=-15|formleft= 300|formwidth= 9000|formheight= 6000|flashFile=%file",
                {},
                "at 20,-1 size 9000x6000 min 5700x5490 prompt ' 1' ticked file read",
                "formtop=-15|formleft= 300|formwidth= 9000|formheight= 6000"},
        Settled{"SmallSizeRaisedLenientNumbersNegativePlaces",
                "formwidth= 3000|formheight= 1500|formleft=  150abc|formtop=-150",
                {},
                "at 10,-10 size 5700x5490",
                "formleft= 150|formwidth= 5700"},
        Settled{"TopAtScreenHeightLess400NotAppliedLeftAtWidthLess401Applied",
                "formtop=" + screenLess(true, 400) + "|formleft=" + screenLess(false, 401),
                {},
                "at " + screenLess(false, 401, true) + ",0 size",
                ""},
        Settled{"TopAtScreenHeightLess401AppliedPromptOneUntickedTypedNameSaved",
                "formtop=" + screenLess(true, 401) + "|prompt=1",
                [](WindowTest& t) {
                    t.child<QCheckBox>("chkPromptOnComplete")->click();
                    t.fileBox()->setText("typed.HXF");
                },
                "," + screenLess(true, 401, true) + " size", "prompt= 0|flashFile=typed.HXF"},
        Settled{"PromptZeroLastCommandNotSentEmptiedFileBoxKeepsTheStoredFile",
                "prompt=0|lastcmd=v|flashFile=/no/such/firmware.HXF",
                [](WindowTest& t) { t.fileBox()->clear(); },
                "prompt '0' clear file none cmd 'v' last ''",
                "prompt=0|lastcmd=|flashFile=/no/such/firmware.HXF"}),
    rowName<Settled>);

TEST_F(WindowTest, ConsoleKeysAsTheWindowHandlesThem) {
    serial.present = {0};
    store("lastcmd", "restored");
    TestForm& f = make();
    QTest::keyClick(cmd(), Qt::Key_Up);
    EXPECT_TRUE(cmd()->text().isEmpty()) << "nothing sent yet: Up empties a restored command";
    serial.sent.clear();
    type("tf");
    QTest::keyClick(cmd(), Qt::Key_Up);
    EXPECT_EQ(cmd()->text() + QString::number(cmd()->cursorPosition()), "tf2");
    QTest::keyClick(child("tText"), Qt::Key_Enter);  // Enter in the log sends the box
    EXPECT_EQ(serial.sent, "tf\rtf\r");
    EXPECT_NE(f.heard.find("[ tf ]"), std::string::npos);
    QTest::keyClick(child("tRx"), Qt::Key_M);  // a key in a pane starts a command
    EXPECT_EQ(cmd()->text() + QString::number(cmd()->cursorPosition()), "m1");
    EXPECT_EQ(f.focusWidget(), cmd());
    QTest::keyClick(child("tText"), Qt::Key_Backspace);
    QTest::keyClick(child("tRx"), Qt::Key_Home);
    EXPECT_EQ(cmd()->text(), QString(QChar(8))) << "arrows still move through a pane";
    const std::string control = "a\x01\x1b\x7f\x80\xffz";  // pasted, goes out as it stands
    cmd()->setText(QString::fromLatin1(control));
    serial.sent.clear();
    QTest::keyClick(cmd(), Qt::Key_Return);
    QTest::keyClick(cmd(), Qt::Key_Up);  // the command again, to be refused while a run runs
    {
        const Link::RunClaim run(f.link());
        QTest::keyClick(cmd(), Qt::Key_Return);
        QTest::keyClick(child("tRx"), Qt::Key_X);
    }
    EXPECT_EQ(serial.sent, control + "\r") << "nothing more while a run owns the unit";
    f.scrollText("log");
    click("lCmd");
    EXPECT_EQ(f.paneText() + "|" + f.logText(), "|log") << "cmd: empties the pane only";
    closeAndEnd();
    EXPECT_EQ(stored("lastcmd"), control) << "the last command survives the store whole";
    make(nullptr, false);
    EXPECT_EQ(cmd()->text().toLatin1().toStdString(), control);
}

TEST_F(WindowTest, ChoosingViewingAndDroppingTheFirmwareFile) {
    const std::string good = file("good.HXF", kGoodHxf);
    const std::string other = file("other.HXF", "C:010001006698\r\n");
    TestForm& f = make();
    fileBox()->setText(QString::fromStdString(good));
    EXPECT_FALSE(f.image().FlashFileValid) << "typing alone reads nothing";
    click("btnFlashFile");  // cancelled
    EXPECT_EQ(presets, std::vector<std::string>{good});
    EXPECT_TRUE(f.image().FlashFileValid) << "a cancelled dialog reads the box again";
    click("tRev");
    EXPECT_EQ(f.logText(), kGoodHxf) << "the revision label shows the file's text";
    EXPECT_EQ(child<QPlainTextEdit>("tText")->toPlainText().toStdString(),
              "C:0100000055AA\nE:01001000A54A\n")
        << "a CR LF pair shows as one line break";
    chosenFile = other;
    click("btnFlashFile");
    EXPECT_EQ(fileBox()->text().toStdString() + "|" + f.FlashFilePath, other + "|" + other);
    EXPECT_EQ(f.image().FlashImage[1], 0x66);
    // A drag and drop: whether it was accepted at entry and at the drop, the box, the file read.
    const auto drop = [&](const QList<QUrl>& urls, const char* text = "") {
        QMimeData data;
        data.setUrls(urls);
        if (*text) data.setText(text);
        f.image().FlashFileValid = false;
        QDragEnterEvent enter({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(fileBox(), &enter);
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(fileBox(), &dropped);
        return std::to_string(enter.isAccepted()) + std::to_string(dropped.isAccepted()) + " " +
               fileBox()->text().toStdString() + " " + std::to_string(f.image().FlashFileValid);
    };
    const QUrl goodUrl = QUrl::fromLocalFile(QString::fromStdString(good));
    EXPECT_EQ(drop({goodUrl}), "11 " + good + " 1");
    EXPECT_EQ(drop({QUrl::fromLocalFile(QString::fromStdString(other)), goodUrl}), "11  0");
    fileBox()->setText("keep.HXF");
    EXPECT_EQ(drop({}, "/a.HXF"), "00 keep.HXF 0");
    EXPECT_EQ(drop({QUrl("https://example.com/a.HXF")}), "00 keep.HXF 0");
    click("labStat");
    EXPECT_EQ(f.logText(), "") << "a click on the status line empties the log";
    const std::string typed = path("Prüfung-€-файл.HXF");  // Enter reads it; named as typed
    fileBox()->setText(QString::fromStdString(typed));
    QTest::keyClick(fileBox(), Qt::Key_Return);
    EXPECT_EQ(child<QLabel>("labStat")->text(), "No File " + QString::fromStdString(typed));
}

TEST_F(WindowTest, PortListAtFocusPanesAndTheMinimumSize) {
    serial.present = {0, 1};
    TestForm& f = make();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    EXPECT_EQ(QApplication::focusWidget(), child("cboPort"));
    const auto probes = [&] {
        return std::count(serial.calls.begin(), serial.calls.end(), "SioReset(0,2,2)");
    };
    EXPECT_EQ(probes(), 2) << "built at the load, again at the first focus, and only then";
    child("tCmd")->setFocus(Qt::TabFocusReason);
    child("cboPort")->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(probes(), 3);
    QTest::keyClick(child("cboPort"), Qt::Key_Down);  // the user picks COM1
    EXPECT_TRUE(f.link().PortOpen && f.link().PortName == "COM1");
    f.status(Colour::Error, "Invalid response ><b>x</b>");
    EXPECT_EQ(child<QLabel>("labStat")->textFormat(), Qt::PlainText);
    f.dataHistory(std::string(2000, 'p') + std::string("a\0b", 3));  // a NUL cuts nothing off
    EXPECT_EQ(child<QPlainTextEdit>("tRx")->toPlainText().size(), f.paneText().size());
    f.resize(100, 500);
    EXPECT_EQ(f.size(), QSize(380, 500)) << "narrower than the minimum comes back to it";
}

// A close at every stage of an update (by the user, Abort or a stop signal): granted before the
// bootloader command, refused from it on (acting as Abort there, the window staying until the
// next).
enum class How { UserClose, RescueBox, RescueWait, AbortButton, Terminate, Interrupt };
struct Stage {
    const char* name;
    Phase phase;  // the stop comes at the first wait once the run has reported this phase
    How how;
    bool closes;  // at the stop itself; a window that stays closes at the next close
    RunOutcome outcome;
    int bootloaderCommands;  // "b0023" the unit received
    bool pagesDone;          // the unit restarted and holds the file's EEPROM byte
};
class CloseAtStage : public WindowTest, public ::testing::WithParamInterface<Stage> {};

TEST_P(CloseAtStage, RunEndsAndTheWindowClosesOnceOrStays) {
    const Stage& s = GetParam();
    serial.present = {0};
    unit.answerDelay = unit.replyDelay = 1;  // every answer takes a tick: every phase yields
    store("port", "COM1");
    const std::string hxf = file("run.HXF", kGoodHxf);
    store("flashFile", hxf);
    TestForm& f = make();
    closeOnStopSignals(f);
    ASSERT_TRUE(f.image().FlashFileValid && f.link().PortOpen);
    child<QCheckBox>("chkRescue")->setChecked(s.how == How::RescueBox || s.how == How::RescueWait);
    QSignalSpy unloaded(&f, &Form1::unloaded);
    bool reached = false, stopped = s.how == How::RescueBox;
    onAsk = [&](const MessageBox&) {  // the rescue box: closed there, or the unit stays silent
        if (s.how == How::RescueBox) f.close();
        unit.bootloaderSilent = s.how == How::RescueWait;
    };
    std::size_t framesAtStop = 0;
    f.onProgress = [&](const Progress& p) { reached = reached || p.phase == s.phase; };
    auto stop = [&] {
        stopped = true;
        framesAtStop = unit.frames.size();
        if (s.how == How::UserClose || s.how == How::RescueWait) f.close();
        if (s.how == How::AbortButton) click("btnAbort");
        if (s.how == How::Terminate || s.how == How::Interrupt) {
            std::raise(s.how == How::Terminate ? SIGTERM : SIGINT);
            QTest::qWait(50);  // the signal reaches the window through its event loop
        }
    };
    clock.beforeTick = [&](int) {
        if (reached && !stopped) stop();
    };
    click("btnFlashStart");
    ASSERT_TRUE(reached);
    if (!stopped) stop();  // nothing waits after the report: the window is idle by then
    QTest::qWait(50);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    EXPECT_EQ(f.sequence().lastOutcome(), s.outcome);
    EXPECT_FALSE(f.sequence().running() || f.sequence().Flashing);
    EXPECT_EQ(f.isVisible(), !s.closes);
    EXPECT_EQ(unloaded.count(), s.closes ? 1 : 0);
    EXPECT_EQ(unit.commandCount("b0023"), s.bootloaderCommands);
    EXPECT_EQ(unit.restarts, s.pagesDone ? 1 : 0);
    EXPECT_EQ(unit.eeprom[0x10], s.pagesDone ? 0xA5 : 0xFF);
    EXPECT_TRUE(s.bootloaderCommands > 0 || unit.frames.empty());
    if (!s.closes && s.how == How::UserClose) {
        EXPECT_TRUE(f.close()) << "the next close closes";
        EXPECT_EQ(unloaded.count(), 1);
    }
    if (s.outcome == RunOutcome::Aborted && s.phase == Phase::Pages) {
        EXPECT_LE(unit.frames.size(), framesAtStop + 1) << "at most the frame on its way";
        EXPECT_EQ(unit.commandCount("m0"), 1) << "the version check's; no EEPROM update";
    }
    closeAndEnd();
    EXPECT_EQ(stored("port") + stored("flashFile") + stored("prompt"), "COM1" + hxf + " 1");
}

using enum How;
using enum RunOutcome;
INSTANTIATE_TEST_SUITE_P(
    Window, CloseAtStage,
    ::testing::Values(
        Stage{"VersionCheck", Phase::Checking, UserClose, true, Cancelled, 0, false},
        Stage{"RescueBox", Phase::Checking, RescueBox, true, Cancelled, 0, false},
        Stage{"RescueWait", Phase::Bootloader, RescueWait, true, Aborted, 0, false},
        Stage{"BootloaderWait", Phase::Bootloader, UserClose, false, Aborted, 1, false},
        Stage{"Pages", Phase::Pages, UserClose, false, Aborted, 1, false},
        Stage{"RestartWait", Phase::Restart, UserClose, false, Complete, 1, true},
        Stage{"Firmware", Phase::Firmware, UserClose, false, Complete, 1, true},
        Stage{"EepromWrite", Phase::EepromWrite, UserClose, false, Complete, 1, true},
        Stage{"EepromVerify", Phase::EepromVerify, UserClose, false, Complete, 1, true},
        Stage{"AfterTheReport", Phase::Done, UserClose, true, Complete, 1, true},
        Stage{"AbortAwaitingTheBootloader", Phase::Bootloader, AbortButton, false, Aborted, 1,
              false},
        Stage{"TerminateInThePages", Phase::Pages, Terminate, false, Aborted, 1, false},
        Stage{"InterruptWhenIdle", Phase::Done, Interrupt, true, Complete, 1, true}),
    rowName<Stage>);

// On the real serial library, the event-loop wait and its timer: 100 kB without a line feed, in
// chunks of 500, each once the last is shown (more than twice what the line carries). The ticks
// keep polling, other events are handled, every byte reaches the pane and the pane stays bounded.
TEST_F(WindowTest, DataStreamNeitherStallsNorSpinsTheWindow) {
    Line far;
    onRealLine(far.slavePath());
    TestForm& f = make();
    ASSERT_TRUE(f.link().PortOpen);
    cmd()->clear();
    int handled = 0;
    std::size_t largest = 0;
    for (int i = 0; i < 200; ++i) {
        QMetaObject::invokeMethod(
            &f, [&handled] { ++handled; }, Qt::QueuedConnection);
        QTest::keyClick(cmd(), Qt::Key_X);
        std::string chunk;
        for (std::size_t k = 0; chunk.size() < 492; ++k) chunk += k % 2 ? char('A' + k % 26) : '\r';
        const std::string tail = "<" + std::to_string(100000 + i) + ">";
        ASSERT_TRUE(far.send(chunk + tail));
        ASSERT_TRUE(spinUntil([&] { return f.paneText().ends_with(tail); })) << "chunk " << i;
        largest = std::max(largest, f.paneText().size());
    }
    EXPECT_EQ(handled, 200);
    EXPECT_EQ(cmd()->text().size(), 200) << "every key press reached the box";
    EXPECT_LE(largest, 500u + 1024u);
    EXPECT_EQ(f.paneText().find('\n'), std::string::npos);
}

// The simulated unit greeted with "tf" and "v" (its version shown), then its readings shown as
// they come after "t1": the greeting's replies leave the data stream running.
TEST_F(WindowTest, SimulatedUnitGreetedThenReadingsShown) {
    SimProcess sim({"--version", "0031"});
    ASSERT_TRUE(sim.started()) << sim.error();
    onRealLine(sim.linkPath());
    TestForm& f = make();
    ASSERT_TRUE(spinUntil([&] { return child<QLabel>("lBootVersion")->text() == "ROM 0031"; }));
    const std::size_t start = f.heard.size();
    type("t1");
    const std::regex reading("\nD [0-9]+\\.[0-9]{2} [0-9]\\.[0-9]{3} [0-9]{4}\r\n");
    ASSERT_TRUE(spinUntil([&] {
        const std::string text = f.heard.substr(start);
        return std::distance(std::sregex_iterator(text.begin(), text.end(), reading), {}) >= 3;
    })) << f.heard.substr(start);
    EXPECT_EQ(f.heard.substr(start, 15), "[ t1 ]t1\r\nT 1\r\n");
}

// The demo's window and unit, with stray clicks while the run owns the unit ("ROM ver.", the port
// list, Enter in the name box, the file dialog, a drop): the unit gets the file read before Start.
struct Stray {
    const char* name;
    Phase phase;
    const char* version;  // 0022 and below: only the rescue reaches the bootloader
};
class StrayClicks : public WindowTest, public ::testing::WithParamInterface<Stray> {};

TEST_P(StrayClicks, NeitherReachTheUnitNorChangeTheImage) {
    TempFolder folder;
    chosenFile = file("other.HXF", kGoodHxf);
    FirmwareImage image;
    std::string link;
    int strays = 0;
    {
        DemoSession demo({"--dump", QString::fromStdString(folder.file("unit")), "--version",
                          GetParam().version});
        ASSERT_TRUE(demo.unit().started()) << demo.unit().error().toStdString();
        link = demo.unit().devicePath();
        onAsk = [&](const MessageBox& box) { demo.unit().answered(box, Answer::Ok); };
        realLine = true;
        TestForm& f = make(&demo.settings());
        image = f.image();
        const auto stray = [&] {
            ++strays;
            click("lBootVersion");
            f.link().lBootVersion_Click();
            child("cboPort")->setFocus(Qt::TabFocusReason);
            f.cboPort_GotFocus();
            QTest::keyClick(fileBox(), Qt::Key_Return);
            f.btnFlashFile_Click();
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(QString::fromStdString(chosenFile))});
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(fileBox(), &drop);
        };
        f.onProgress = [&](const Progress& p) {
            if (p.phase == GetParam().phase && strays == 0) QTimer::singleShot(0, stray);
        };
        child<QCheckBox>("chkRescue")->setChecked(GetParam().phase == Phase::Bootloader);
        click("btnFlashStart");
        EXPECT_EQ(f.sequence().lastOutcome(), RunOutcome::Complete) << f.logText();
        const std::string sample = DemoUnit::sampleFile().toStdString();
        EXPECT_EQ(fileBox()->text().toStdString() + "|" + f.FlashFilePath, sample + "|" + sample);
        closeAndEnd();
        library.reset();
    }
    EXPECT_EQ(strays, 1);
    EXPECT_TRUE(presets.empty()) << "no dialog was offered";
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(link))) << "the unit stops with the demo";
    const std::string flash = readFile(folder.file("unit.flash"));
    const std::string eeprom = readFile(folder.file("unit.eeprom"));
    ASSERT_EQ(flash.size() * 10000 + eeprom.size(), 124u * 64 * 10000 + 512);
    const auto same = [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; };
    EXPECT_TRUE(std::equal(flash.begin(), flash.end(), image.FlashImage.begin(), same));
    EXPECT_TRUE(std::equal(eeprom.begin(), eeprom.end(), image.EEimage.begin(), same));
}

INSTANTIATE_TEST_SUITE_P(DuringARun, StrayClicks,
                         ::testing::Values(Stray{"VersionCheck", Phase::Checking, "0023"},
                                           Stray{"RescueWait", Phase::Bootloader, "0022"},
                                           Stray{"Pages", Phase::Pages, "0023"}),
                         rowName<Stray>);

}  // namespace
}  // namespace ondo::app::testing

// The window needs a QApplication, without a display.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
