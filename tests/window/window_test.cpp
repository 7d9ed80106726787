// SPDX-License-Identifier: GPL-3.0-or-later
// The window headless, on the in-memory serial library and the tick-per-wait clock, or on the
// real serial library and the event-loop wait (the data stream, the demo's simulated unit).

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <csignal>
#include <cstring>

#include "link/port_map.h"
#include "link/qtwaiter.h"
#include "session/demo_unit.h"
#include "support/line.h"
#include "support/run.h"
#include "support/scripted_unit.h"
#include "window/form1.h"
#include "window/run_window.h"
#include "window/twips.h"

namespace ondo::window::testing {
namespace {

using namespace ondo::testing;

// The window with its progress reports seen.
class TestForm : public Form1 {
  public:
    using Form1::Form1;
    void progress(const Progress& p) override {
        Form1::progress(p);
        if (onProgress) onProgress(p);
    }
    std::function<void(const Progress&)> onProgress;
};

// The window, its store in a temporary folder, its message boxes and file dialog answered here.
// On the in-memory library only COM1 is present, and the window opens it. On the real serial
// library COM1 is `device` and no other port is present, or the window runs on the demo's session.
class WindowTest : public ::testing::Test {
  public:
    WindowTest() { clock.serial = &serial; }
    std::string path(const std::string& name) const {
        return dir.filePath(QString::fromStdString(name)).toStdString();
    }
    void store(const std::string& key, const std::string& value) {
        Settings(path("FLASH.ini")).saveKeySetting(key, value);
    }
    std::string stored(const std::string& key) const {
        return Settings(path("FLASH.ini")).keySetting(key);
    }
    TestForm& make(bool show = true) {
        settings = std::make_unique<Settings>(path("FLASH.ini"));
        Settings& use = demo ? demo->settings() : *settings;
        for (int n = 1; n <= 9 && !device.empty(); ++n)
            use.savePortDevice(n, n == 1 ? device : path("none"));
        if (demo || !device.empty()) library = makeMappedLibrary(use);
        Form1::Services services{use, library ? *library : serial,
                                 library ? static_cast<Waiter&>(waiter) : clock};
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
    // A drag of this file (or URL) entering the name box, then its drop: how many were accepted.
    int drop(const std::string& name) {
        QMimeData data;
        data.setUrls({QUrl::fromUserInput(QString::fromStdString(name))});
        QDragEnterEvent enter({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(fileBox(), &enter);
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(fileBox(), &dropped);
        return enter.isAccepted() + dropped.isAccepted();
    }
    void closeAndEnd() {
        form->close();
        form.reset();
    }

    QTemporaryDir dir;
    FakeSerial serial;
    TickPerYield clock;
    ScriptedUnit unit{serial, clock};
    std::string device;
    std::unique_ptr<DemoSession> demo;
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

// The command box's and the panes' keys, none sent while a run owns the unit; a unit's text whole.
// The store at start-up and shut-down: a size kept or raised to the size as created; a place kept
// unless within 400 twips of the screen's bottom or right edge; the last command kept whole, once
// read back not the last one sent; an emptied name box keeps the stored file.
TEST_F(WindowTest, ConsoleKeysAndTheStore) {
    TestForm& f = make();
    serial.sent.clear();
    QTest::keyClicks(cmd(), "tf\r");
    QTest::keyClick(cmd(), Qt::Key_Up);
    EXPECT_EQ(cmd()->text() + QString::number(cmd()->cursorPosition()), "tf2");
    QTest::keyClick(child("tText"), Qt::Key_Enter);  // Enter in the log sends the box
    QTest::keyClick(child("tRx"), Qt::Key_M);        // a key in a pane starts a command
    EXPECT_EQ(cmd()->text() + QString::number(cmd()->cursorPosition()), "m1");
    const std::string control = "a\x01\x1b\x7f\x80\xffz";  // pasted, goes out as it stands
    cmd()->setText(QString::fromLatin1(control));
    QTest::keyClick(cmd(), Qt::Key_Return);
    QTest::keyClick(cmd(), Qt::Key_Up);  // the command again, to be refused while a run runs
    {
        const Link::RunClaim run(f.link());
        QTest::keyClick(cmd(), Qt::Key_Return);
        QTest::keyClick(child("tRx"), Qt::Key_X);
    }
    EXPECT_EQ(serial.sent, "tf\rtf\r" + control + "\r") << "nothing more while a run owns the unit";
    f.dataHistory(std::string(2000, 'p') + std::string("a\0b", 3));  // a NUL cuts nothing off
    EXPECT_EQ(child<QPlainTextEdit>("tRx")->toPlainText().size(), f.paneText().size());
    f.status(Colour::Error, "Invalid response ><b>x</b>");  // a unit's bytes are never markup
    EXPECT_EQ(child<QLabel>("labStat")->textFormat(), Qt::PlainText);
    closeAndEnd();
    EXPECT_EQ(stored("lastcmd"), control);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const int left = toTwips(screen.width()) - 401;
    store("formtop", formatNumber(toTwips(screen.height()) - 400));
    store("formleft", formatNumber(left));
    store("formwidth", " 9000");
    store("formheight", " 1500");
    store("flashFile", "/no/such.HXF");
    make(false);
    EXPECT_EQ(cmd()->text().toLatin1().toStdString(), control);
    fileBox()->clear();
    closeAndEnd();
    std::string after;
    for (const char* k : {"formtop", "formleft", "formwidth", "formheight", "lastcmd", "flashFile"})
        after += stored(k) + "|";
    EXPECT_EQ(after, " 0|" + formatNumber(toTwips(toPixels(left))) + "| 9000| 5490||/no/such.HXF|");
}

// The name box read after a cancelled dialog, which offered the box's name; the file's text in the
// log; the file chosen in the dialog, or dropped on the box, in the box and read; all else refused.
TEST_F(WindowTest, ChoosingTheFirmwareFile) {
    const std::string good = file("good.HXF", kGoodHxf);
    TestForm& f = make();
    fileBox()->setText(QString::fromStdString(good));
    EXPECT_FALSE(f.image().FlashFileValid) << "typing alone reads nothing";
    click("btnFlashFile");  // cancelled
    EXPECT_EQ(presets, std::vector<std::string>{good});
    EXPECT_TRUE(f.image().FlashFileValid);
    click("tRev");  // each CR LF pair one line break
    EXPECT_EQ(child<QPlainTextEdit>("tText")->toPlainText(), "C:0100000055AA\nE:01001000A54A\n");
    chosenFile = file("other.HXF", "C:010001006698\r\n");
    click("btnFlashFile");
    EXPECT_EQ(fileBox()->text().toStdString() + "|" + f.FlashFilePath,
              chosenFile + "|" + chosenFile);
    EXPECT_EQ(f.image().FlashImage[1], 0x66);
    f.image().FlashFileValid = false;
    EXPECT_EQ(drop(good), 2) << "accepted as the drag enters and at the drop";
    EXPECT_EQ(drop("https://example.com/a.HXF"), 0) << "anything but files is refused";
    EXPECT_TRUE(fileBox()->text().toStdString() == good && f.image().FlashFileValid);
}

// A close at every stage of an update (by the user, Abort or a stop signal): granted before the
// bootloader command, refused from it on (acting as Abort, the window staying until the next).
// Stray actions instead ("ROM ver.", the port list, Enter in the name box, the file dialog, a drop
// of another file) are refused: the unit gets the file read before Start, the name box keeps it.
enum class How { Close, Abort, Terminate, Interrupt, Stray, RescueBox, RescueWait, RescueStray };
struct Stage {
    const char* name;
    Phase phase;  // the stop comes at the first wait once the run has reported this phase
    How how;      // from RescueBox on, with the rescue box ticked
    bool closes;  // at the stop itself; a window that stays closes at the next close
    RunOutcome outcome;
    int bootloaderCommands;  // "b0023" the unit received
    bool pagesDone;          // the unit holds the file's pages and EEPROM byte: updated
    bool again = false;      // then Start again (Rescue ticked, the unit powered up in its
                             // bootloader): the second run must run as a first one would
};
void PrintTo(const Stage& s, std::ostream* out) {
    *out << s.name;
}
class CloseAtStage : public WindowTest, public ::testing::WithParamInterface<Stage> {};

TEST_P(CloseAtStage, RunEndsAndTheWindowClosesOnceOrStays) {
    const Stage& s = GetParam();
    unit.answerDelay = unit.replyDelay = 1;  // every answer takes a tick: every phase yields
    const std::string run = file("run.HXF", kGoodHxf);
    store("flashFile", run);
    chosenFile = file("other.HXF", "C:011000006689\r\nE:010010005A95\r\n");
    TestForm& f = make();
    closeOnStopSignals(f);
    const FirmwareImage image = f.image();
    child<QCheckBox>("chkRescue")->setChecked(s.how >= How::RescueBox);
    QSignalSpy unloaded(&f, &Form1::unloaded);
    bool reached = false, stopped = s.how == How::RescueBox;
    onAsk = [&](const MessageBox&) {  // the rescue box: the unit stays silent after it
        if (s.how == How::RescueBox) f.close();
    };
    f.onProgress = [&](const Progress& p) { reached = reached || p.phase == s.phase; };
    auto stop = [&] {
        stopped = true;
        if (s.how == How::Close || s.how == How::RescueWait) f.close();
        if (s.how == How::Abort) click("btnAbort");
        if (s.how == How::Terminate || s.how == How::Interrupt) {
            std::raise(s.how == How::Terminate ? SIGTERM : SIGINT);
            QTest::qWait(50);  // the signal reaches the window through its event loop
        }
        if (s.how == How::Stray || s.how == How::RescueStray) {
            click("lBootVersion");
            f.link().lBootVersion_Click();
            child("cboPort")->setFocus(Qt::TabFocusReason);
            f.cboPort_GotFocus();
            QTest::keyClick(fileBox(), Qt::Key_Return);
            f.btnFlashFile_Click();
            drop(chosenFile);
        }
        if (s.how == How::RescueStray) unit.powerUpInBootloader();  // the power back on
    };
    clock.beforeTick = [&](int) {
        if (reached && !stopped) stop();
    };
    click("btnFlashStart");
    ASSERT_TRUE(reached);
    if (!stopped) stop();  // nothing waits after the report: the window is idle by then
    QTest::qWait(50);
    if (s.again) {
        child<QCheckBox>("chkRescue")->setChecked(true);
        onAsk = [&](const MessageBox&) { unit.powerUpInBootloader(); };
        click("btnFlashStart");
    }
    for (int signal : {SIGINT, SIGTERM}) std::signal(signal, SIG_DFL);
    EXPECT_EQ(f.sequence().lastOutcome(), s.outcome);
    EXPECT_EQ(f.isVisible(), !s.closes);
    EXPECT_EQ(unit.commandCount("b0023"), s.bootloaderCommands);
    EXPECT_EQ(unit.eeprom[0x10], s.pagesDone ? image.EEimage[0x10] : 0xFF);
    EXPECT_TRUE(!s.pagesDone || !std::memcmp(unit.flash.data(), image.FlashImage.data(), 124 * 64));
    EXPECT_TRUE(presets.empty()) << "no dialog was offered";
    EXPECT_EQ(fileBox()->text().toStdString() + "|" + f.FlashFilePath, run + "|" + run);
    EXPECT_TRUE(s.closes || f.close()) << "the next close closes";
    EXPECT_EQ(unloaded.count(), 1) << "once";
    closeAndEnd();
    EXPECT_EQ(stored("port") + stored("flashFile") + stored("prompt"), "COM1" + run + " 1");
}

using enum How;
using enum RunOutcome;
INSTANTIATE_TEST_SUITE_P(
    Window, CloseAtStage,
    ::testing::Values(
        Stage{"VersionCheck", Phase::Checking, Close, true, Cancelled, 0, false},
        Stage{"RescueBox", Phase::Checking, RescueBox, true, Cancelled, 0, false},
        Stage{"RescueWait", Phase::Bootloader, RescueWait, true, Aborted, 0, false},
        Stage{"BootloaderWait", Phase::Bootloader, Close, false, Aborted, 1, false},
        Stage{"RestartWait", Phase::Restart, Close, false, Complete, 1, true},
        Stage{"Firmware", Phase::Firmware, Close, false, Complete, 1, true},
        Stage{"EepromWrite", Phase::EepromWrite, Close, false, Complete, 1, true},
        Stage{"EepromVerify", Phase::EepromVerify, Close, false, Complete, 1, true},
        Stage{"AbortInTheBootloaderWait", Phase::Bootloader, Abort, false, Aborted, 1, false},
        Stage{"AbortInTheBootloaderWaitThenStartAgain", Phase::Bootloader, Abort, false, Complete,
              1, true, true},
        Stage{"TerminateInThePages", Phase::Pages, Terminate, false, Aborted, 1, false},
        Stage{"InterruptWhenIdle", Phase::Done, Interrupt, true, Complete, 1, true},
        Stage{"StrayInTheVersionCheck", Phase::Checking, Stray, false, Complete, 1, true},
        Stage{"StrayInTheRescueWait", Phase::Bootloader, RescueStray, false, Complete, 0, true},
        Stage{"StrayInThePages", Phase::Pages, Stray, false, Complete, 1, true}),
    [](const auto& info) { return std::string(info.param.name); });

// On the real serial library and the event-loop wait: 100 kB without a line feed, in chunks of 500
// once the last is shown (over twice what the line carries). The ticks keep polling, other events
// are handled, every byte reaches the pane and the pane stays bounded.
TEST_F(WindowTest, DataStreamNeitherStallsNorSpinsTheWindow) {
    Line far;
    device = far.slavePath();
    TestForm& f = make();
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
        ASSERT_TRUE(QTest::qWaitFor([&] { return f.paneText().ends_with(tail); })) << "chunk " << i;
        largest = std::max(largest, f.paneText().size());
    }
    EXPECT_EQ(handled, 200);
    EXPECT_EQ(cmd()->text().size(), 200) << "every key press reached the box";
    EXPECT_LE(largest, 500u + 1024u);
    EXPECT_EQ(f.paneText().find('\n'), std::string::npos);
}

// The demo's simulated unit greeted with "tf" and "v" (its version shown), then its readings shown
// as they come after "t1": the greeting's replies leave the data stream running.
TEST_F(WindowTest, SimulatedUnitGreetedThenReadingsShown) {
    demo = std::make_unique<DemoSession>(QStringList{"--firmware", "0031"});
    ASSERT_TRUE(demo->unit().started()) << demo->unit().error().toStdString();
    TestForm& f = make();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return child<QLabel>("lBootVersion")->text() == "ROM 0031"; }));
    f.paneClear();
    QTest::keyClicks(cmd(), "t1\r");
    ASSERT_TRUE(QTest::qWaitFor([&] { return occurrences(f.paneText(), "\nD ") >= 3; }, 10000))
        << f.paneText();
    EXPECT_TRUE(f.paneText().starts_with("[ t1 ]t1\r\nT 1\r\n")) << f.paneText();
}

}  // namespace
}  // namespace ondo::window::testing

// The window needs a QApplication, without a display.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
