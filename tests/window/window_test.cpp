// The window headless, on the in-memory serial library and the tick-per-wait clock, or on the
// real serial library and the event-loop wait (the data stream, the simulated unit, stray clicks).

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <csignal>
#include <regex>

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
// On the in-memory library only COM1 is present, and the window opens it.
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
    void onRealLine(const std::string& device) {  // COM1 the device, no other port present
        Settings s(path("FLASH.ini"));
        for (int n = 1; n <= 9; ++n) s.savePortDevice(n, n == 1 ? device : path("none"));
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
    const QDeadlineTimer deadline(10000);
    while (!condition() && !deadline.hasExpired()) QTest::qWait(10);
    return condition();
}

template <class Row>
std::string rowName(const ::testing::TestParamInfo<Row>& info) {
    return info.param.name;
}

// The store at start-up and shut-down: a size kept, or raised to the size the window was created
// with; a place applied unless within 400 twips of the screen's bottom or right edge; the stored
// last command not taken as the last one sent; an emptied name box keeps the stored file.
TEST_F(WindowTest, StartAndShutDownReadAndWriteTheStore) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const int left = toTwips(screen.width()) - 401;
    store("formtop", formatNumber(toTwips(screen.height()) - 400));
    store("formleft", formatNumber(left));
    store("formwidth", " 9000");
    store("formheight", " 1500");
    store("lastcmd", "v");
    store("flashFile", "/no/such.HXF");
    make(nullptr, false);
    fileBox()->clear();
    closeAndEnd();
    std::string after;
    for (const char* key :
         {"formtop", "formleft", "formwidth", "formheight", "lastcmd", "flashFile"})
        after += stored(key) + "|";
    EXPECT_EQ(after, " 0|" + formatNumber(toTwips(toPixels(left))) + "| 9000| 5490||/no/such.HXF|");
}

// The command box's and the panes' keys, none sent while a run owns the unit; a unit's text whole.
TEST_F(WindowTest, ConsoleKeysAsTheWindowHandlesThem) {
    TestForm& f = make();
    serial.sent.clear();
    QTest::keyClicks(cmd(), "tf\r");
    QTest::keyClick(cmd(), Qt::Key_Up);
    EXPECT_EQ(cmd()->text() + QString::number(cmd()->cursorPosition()), "tf2");
    QTest::keyClick(child("tText"), Qt::Key_Enter);  // Enter in the log sends the box
    EXPECT_NE(f.heard.find("[ tf ]"), std::string::npos);
    QTest::keyClick(child("tRx"), Qt::Key_M);  // a key in a pane starts a command
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
    f.status(Colour::Error, "Invalid response ><b>x</b>");
    EXPECT_EQ(child<QLabel>("labStat")->textFormat(), Qt::PlainText);
    f.dataHistory(std::string(2000, 'p') + std::string("a\0b", 3));  // a NUL cuts nothing off
    EXPECT_EQ(child<QPlainTextEdit>("tRx")->toPlainText().size(), f.paneText().size());
    closeAndEnd();
    EXPECT_EQ(stored("lastcmd"), control) << "the last command survives the store whole";
    make(nullptr, false);
    EXPECT_EQ(cmd()->text().toLatin1().toStdString(), control);
}

// The name box read after a cancelled dialog, which offered the box's name; then the file chosen
// in the dialog, in the box and read.
TEST_F(WindowTest, ChoosingTheFirmwareFile) {
    const std::string good = file("good.HXF", kGoodHxf);
    TestForm& f = make();
    fileBox()->setText(QString::fromStdString(good));
    EXPECT_FALSE(f.image().FlashFileValid) << "typing alone reads nothing";
    click("btnFlashFile");  // cancelled
    EXPECT_EQ(presets, std::vector<std::string>{good});
    EXPECT_TRUE(f.image().FlashFileValid);
    chosenFile = file("other.HXF", "C:010001006698\r\n");
    click("btnFlashFile");
    EXPECT_EQ(fileBox()->text().toStdString() + "|" + f.FlashFilePath,
              chosenFile + "|" + chosenFile);
    EXPECT_EQ(f.image().FlashImage[1], 0x66);
}

// A close at every stage of an update (by the user, Abort or a stop signal): granted before the
// bootloader command, refused from it on (acting as Abort, the window staying until the next).
enum class How { UserClose, RescueBox, RescueWait, AbortButton, Terminate, Interrupt };
struct Stage {
    const char* name;
    Phase phase;  // the stop comes at the first wait once the run has reported this phase
    How how;
    bool closes;  // at the stop itself; a window that stays closes at the next close
    RunOutcome outcome;
    int bootloaderCommands;  // "b0023" the unit received
    bool pagesDone;          // the unit holds the file's EEPROM byte: restarted and updated
};
class CloseAtStage : public WindowTest, public ::testing::WithParamInterface<Stage> {};

TEST_P(CloseAtStage, RunEndsAndTheWindowClosesOnceOrStays) {
    const Stage& s = GetParam();
    unit.answerDelay = unit.replyDelay = 1;  // every answer takes a tick: every phase yields
    store("flashFile", file("run.HXF", kGoodHxf));
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
    f.onProgress = [&](const Progress& p) { reached = reached || p.phase == s.phase; };
    auto stop = [&] {
        stopped = true;
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
    EXPECT_EQ(unit.commandCount("b0023"), s.bootloaderCommands);
    EXPECT_EQ(unit.eeprom[0x10], s.pagesDone ? 0xA5 : 0xFF);
    EXPECT_TRUE(s.closes || f.close()) << "the next close closes";
    EXPECT_EQ(unloaded.count(), 1) << "once";
    closeAndEnd();
    EXPECT_EQ(stored("port") + stored("flashFile") + stored("prompt"),
              "COM1" + path("run.HXF") + " 1");
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

// On the real serial library and the event-loop wait: 100 kB without a line feed, in chunks of 500
// once the last is shown (over twice what the line carries). The ticks keep polling, other events
// are handled, every byte reaches the pane and the pane stays bounded.
TEST_F(WindowTest, DataStreamNeitherStallsNorSpinsTheWindow) {
    Line far;
    onRealLine(far.slavePath());
    TestForm& f = make();
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
    QTest::keyClicks(cmd(), "t1\r");
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
    FirmwareImage image;
    int strays = 0;
    {
        DemoSession demo(
            {"--dump", QString::fromStdString(path("unit")), "--version", GetParam().version});
        ASSERT_TRUE(demo.unit().started()) << demo.unit().error().toStdString();
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
            data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path("other.HXF")))});
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
    // The unit's flash (124 pages of 64 bytes) and EEPROM (512 bytes) as the image held them.
    const auto head = [](const auto& bytes, int n) {
        return std::string(bytes.begin(), bytes.begin() + n);
    };
    EXPECT_TRUE(readFile(path("unit.flash")) == head(image.FlashImage, 124 * 64));
    EXPECT_TRUE(readFile(path("unit.eeprom")) == head(image.EEimage, 512));
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
