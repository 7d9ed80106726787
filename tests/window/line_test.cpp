// The window on the real serial library, the event-loop wait and its 100 ms timer: a data stream
// that must neither stall nor spin it, the simulated unit's greeting and readings, and the demo.

#include "support/line.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <regex>

#include "app/demo_unit.h"
#include "app/widgets.h"
#include "support/run.h"
#include "support/sim_process.h"
#include "window/window.h"

namespace ondo::app::testing {
namespace {

// Runs the event loop until the condition holds; false after ten seconds.
bool spinUntil(const std::function<bool()>& condition) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > 10000) return false;
        QTest::qWait(10);
    }
    return true;
}

// 100 kB without a line feed, in chunks of 500, each once the last is shown (more than twice
// what the line carries): the ticks keep polling, other events are handled, every byte reaches
// the pane and the pane stays bounded.
TEST_F(WindowTest, DataStreamNeitherStallsNorSpinsTheWindow) {
    Line far;
    onRealLine(far.slavePath());
    TestForm& f = shown();
    ASSERT_TRUE(f.link().PortOpen);
    ASSERT_TRUE(far.send("<ready>"));
    ASSERT_TRUE(spinUntil([&] { return f.heard.find("<ready>") != std::string::npos; }));
    cmd()->clear();
    int handled = 0;
    std::size_t largest = 0;
    for (int i = 0; i < 200; ++i) {
        QMetaObject::invokeMethod(
            &f, [&handled] { ++handled; }, Qt::QueuedConnection);
        QTest::keyClick(cmd(), Qt::Key_X);
        std::string chunk;
        for (std::size_t k = 0; chunk.size() < 492; ++k) chunk += k % 2 ? char('A' + k % 26) : '\r';
        char tail[9];
        std::snprintf(tail, sizeof tail, "<%06d>", i);
        ASSERT_TRUE(far.send(chunk + tail));
        ASSERT_TRUE(spinUntil([&] { return f.paneText().ends_with(tail); })) << "chunk " << i;
        largest = std::max(largest, f.paneText().size());
    }
    EXPECT_EQ(handled, 200);
    EXPECT_EQ(cmd()->text().size(), 200) << "every key press reached the box";
    EXPECT_LE(largest, 500u + 1024u);
    EXPECT_EQ(f.paneText().find('\n'), std::string::npos);
    std::printf("[ figures  ] largest data pane during the stream: %zu characters\n", largest);
}

// Each greeting is "tf" CR and "v" CR; the list is built at load and at the first focus, and
// each build opens COM1 twice (as the remembered port, then as the only one).
TEST_F(WindowTest, SimulatedUnitGreetedReadingsAfterT1NoneAfterTfCommandsEchoed) {
    SimProcess sim({"--version", "0031"});
    ASSERT_TRUE(sim.started()) << sim.error();
    onRealLine(sim.linkPath());
    TestForm& f = shown();
    ASSERT_TRUE(spinUntil([&] { return f.heard.find("\nV 0031\r\n") != std::string::npos; }));
    EXPECT_EQ(child<QComboBox>("cboPort")->currentText(), "COM1");
    EXPECT_EQ(status(), "Opened COM1");
    EXPECT_EQ(child<QLabel>("lBootVersion")->text(), "ROM 0031");
    EXPECT_EQ(child<PortLamp>("shpPort")->fillColour(), QColor(0, 255, 0));
    QTest::qWait(300);
    ASSERT_TRUE(sim.control("dump"));
    EXPECT_EQ(sim.stats()["bytes_from_host"], 20);
    const std::size_t start = f.heard.size();
    QTest::keyClicks(cmd(), "t1");
    QTest::keyClick(cmd(), Qt::Key_Return);
    EXPECT_EQ(f.heard.substr(start), "[ t1 ]") << "shown at once, before any reply";
    const std::regex reading("\nD [0-9]+\\.[0-9]{2} [0-9]\\.[0-9]{3} [0-9]{4}\r\n");
    const auto readings = [&](std::size_t from) {
        const std::string text = f.heard.substr(from);
        return std::distance(std::sregex_iterator(text.begin(), text.end(), reading), {});
    };
    ASSERT_TRUE(spinUntil([&] { return readings(start) >= 3; })) << f.heard.substr(start);
    EXPECT_EQ(f.heard.substr(start, 15), "[ t1 ]t1\r\nT 1\r\n");
    const std::size_t stop = f.heard.size();
    QTest::keyClicks(cmd(), "tf");
    QTest::keyClick(cmd(), Qt::Key_Return);
    ASSERT_TRUE(
        spinUntil([&] { return f.heard.find("tf\r\nT 0\r\n", stop) != std::string::npos; }));
    const std::size_t replied = f.heard.find("tf\r\nT 0\r\n", stop) + 9;
    QTest::qWait(1500);  // a reading every 100 ms would have come many times
    EXPECT_EQ(f.heard.substr(replied), "");
    closeAndEnd();
    EXPECT_EQ(stored("lastcmd"), "tf");
}

// The demo's window as "ondo-flash --demo" builds it: firmware too old for the command entry,
// so only the rescue reaches the bootloader, and the rescue box's OK plays the power-up.
TEST_F(WindowTest, DemoRescueRunsAWholeUpdateIntoTheSimulatedUnit) {
    TempFolder folder;
    std::string link;
    FirmwareImage image;
    {
        DemoSession demo(DemoUnit::splitOptions(
            QString::fromStdString("--dump \"" + folder.file("unit") + "\" --version 0022")));
        ASSERT_TRUE(demo.unit().started()) << demo.unit().error().toStdString();
        link = demo.unit().devicePath();
        const auto serial = sio::makePlatformLibrary(
            [](int port, void* s) { return static_cast<Settings*>(s)->portDevice(port + 1); },
            &demo.settings());
        Form1::Services services{demo.settings(), *serial, waiter};
        services.ask = demo.ask([this](QWidget*, const MessageBox& box) {
            boxes.push_back(box);
            return Answer::Ok;
        });
        Form1 window(std::move(services));
        window.Form_Load();
        EXPECT_TRUE(window.link().PortOpen);
        EXPECT_EQ(window.findChild<QLineEdit*>("tFlashFileName")->text(), DemoUnit::sampleFile());
        EXPECT_TRUE(window.image().FlashFileValid);
        window.findChild<QCheckBox*>("chkRescue")->setChecked(true);
        window.findChild<QPushButton*>("btnFlashStart")->click();
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes.front().title, "Rescue Requires a Temorary Jumper");
        EXPECT_EQ(boxes.back().text, "Flash and EEPROM Programming complete (0 retries).");
        EXPECT_EQ(window.sequence().lastOutcome(), RunOutcome::Complete);
        EXPECT_EQ(window.findChild<QLabel*>("labStat")->text(), "Complete.");
        image = window.image();  // as the window read the sample
        window.close();
    }
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(link))) << "the unit stops with the demo";
    const std::string flash = readFile(folder.file("unit.flash"));
    const std::string eeprom = readFile(folder.file("unit.eeprom"));
    ASSERT_EQ(flash.size() * 10000 + eeprom.size(), 124u * 64 * 10000 + 512);
    for (std::size_t a = 0; a < flash.size(); ++a)
        ASSERT_EQ(static_cast<std::uint8_t>(flash[a]), image.FlashImage[a]) << a;
    for (std::size_t a = 0; a < eeprom.size(); ++a)
        ASSERT_EQ(static_cast<std::uint8_t>(eeprom[a]), image.EEimage[a]) << a;
}

// Stray clicks while a run owns the unit, in the version check, the rescue wait and the pages:
// "ROM ver.", the port list, Enter in the name box, the file dialog and a drop of another file.
// None reaches the line or the image: the update completes and the unit holds the file read
// before Start, which the name box still names.
struct Stray {
    const char* name;
    Phase phase;
    bool rescue;
};
void PrintTo(const Stray& s, std::ostream* out) {
    *out << s.name;
}

class StrayClicks : public WindowTest, public ::testing::WithParamInterface<Stray> {};

TEST_P(StrayClicks, NeitherReachTheUnitNorChangeTheImage) {
    SimProcess sim;
    ASSERT_TRUE(sim.started()) << sim.error();
    onRealLine(sim.linkPath());
    const std::string sample = std::string(ONDO_SAMPLES_DIR) + "/demo-AlaR.HXF";
    store("flashFile", sample);
    const std::string other = writeFile("other.HXF", kGoodHxf);
    chosenFile = other;
    onAsk = [&](const MessageBox& box) {
        if (box.title == "Rescue Requires a Temorary Jumper") sim.control("rescue");
    };
    TestForm& f = shown();
    ASSERT_TRUE(f.image().FlashFileValid);
    const FirmwareImage image = f.image();
    auto* box = child<QLineEdit>("tFlashFileName");
    int strays = 0;
    const auto stray = [&] {
        ++strays;
        QTest::mouseClick(child<QLabel>("lBootVersion"), Qt::LeftButton);
        f.link().lBootVersion_Click();
        child<QComboBox>("cboPort")->setFocus(Qt::TabFocusReason);
        f.cboPort_GotFocus();
        QTest::keyClick(box, Qt::Key_Return);
        f.btnFlashFile_Click();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(other))});
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(box, &drop);
    };
    f.onProgress = [&](const Progress& p) {
        if (p.phase == GetParam().phase && strays == 0) QTimer::singleShot(0, stray);
    };
    child<QCheckBox>("chkRescue")->setChecked(GetParam().rescue);
    QTest::mouseClick(child<QPushButton>("btnFlashStart"), Qt::LeftButton);
    EXPECT_EQ(strays, 1);
    EXPECT_EQ(f.sequence().lastOutcome(), RunOutcome::Complete) << status().toStdString();
    EXPECT_EQ(box->text().toStdString(), sample);
    EXPECT_EQ(f.FlashFilePath, sample);
    EXPECT_TRUE(presets.empty()) << "no dialog was offered";
    ASSERT_TRUE(sim.control("dump"));
    const std::vector<std::uint8_t> flash = sim.flash(), eeprom = sim.eeprom();
    ASSERT_GE(flash.size(), 124u * 64);
    ASSERT_GE(eeprom.size(), 512u);
    for (std::size_t a = 0; a < 124u * 64; ++a) ASSERT_EQ(flash[a], image.FlashImage[a]) << a;
    for (std::size_t a = 0; a < 512; ++a) ASSERT_EQ(eeprom[a], image.EEimage[a]) << a;
}

INSTANTIATE_TEST_SUITE_P(DuringARun, StrayClicks,
                         ::testing::Values(Stray{"VersionCheck", Phase::Checking, false},
                                           Stray{"RescueWait", Phase::Bootloader, true},
                                           Stray{"Pages", Phase::Pages, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ondo::app::testing
