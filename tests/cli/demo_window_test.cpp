// The demo's window, built as "ondo-flash --demo" builds it, in this process without a display:
// the simulated unit on COM1, the sample file in the file box, and Start running a whole update
// to the completion box.

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <iostream>

#include "app/demo_unit.h"
#include "app/form1.h"
#include "cli/cli_fixture.h"
#include "link/qtwaiter.h"
#include "link/sio.h"

namespace ondo::testing {
namespace {

// Ends the test program when a run in this process does not end: nothing else can interrupt a
// handler that never returns.
constexpr std::chrono::seconds kWindowPatience{120};

std::string portDevice(int port, void* context) {
    return static_cast<const Settings*>(context)->portDevice(port + 1);
}

template <class W>
W* child(QWidget& form, const char* name) {
    W* widget = form.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

class DemoWindow : public ::testing::Test {
  protected:
    DemoWindow() {
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            std::cerr << "the demo window's run did not end\n";
            std::_Exit(1);
        });
        watchdog.start(std::chrono::milliseconds(kWindowPatience));
    }

    // The demo with the unit's dumps in the test's folder.
    QStringList simArgs() const {
        return DemoUnit::splitOptions(
            QString::fromStdString("--dump \"" + folder.file("unit") + "\""));
    }

    TempFolder folder;
    QTimer watchdog;
    std::vector<MessageBox> boxes;
};

TEST_F(DemoWindow, StartRunsAWholeUpdateToTheCompletionBox) {
    std::string link;
    {
        DemoSession demo(simArgs());
        ASSERT_TRUE(demo.unit().started()) << demo.unit().error().toStdString();
        link = demo.unit().devicePath();
        const auto serial = sio::makePlatformLibrary(portDevice, &demo.settings());
        QtWaiter waiter;
        app::Form1::Services services{demo.settings(), *serial, waiter};
        services.ask = demo.ask([this](QWidget*, const MessageBox& box) {
            boxes.push_back(box);
            return Answer::Ok;
        });
        app::Form1 form(std::move(services));
        form.Form_Load();
        form.show();

        EXPECT_TRUE(form.link().PortOpen);
        EXPECT_EQ(child<QComboBox>(form, "cboPort")->currentText(), "COM1");
        EXPECT_EQ(child<QLineEdit>(form, "tFlashFileName")->text(), DemoUnit::sampleFile());
        EXPECT_TRUE(QFileInfo(DemoUnit::sampleFile()).isFile());
        EXPECT_TRUE(form.image().FlashFileValid);

        child<QPushButton>(form, "btnFlashStart")->click();

        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes.back().title, "Programming complete");
        EXPECT_EQ(boxes.back().text, "Flash and EEPROM Programming complete (0 retries).");
        EXPECT_EQ(form.sequence().lastOutcome(), RunOutcome::Complete);
        EXPECT_EQ(child<QLabel>(form, "labStat")->text(), "Complete.");
        EXPECT_TRUE(form.logText().find("Programming complete.\r\nUpdate report: unit AlaR, ") !=
                    std::string::npos);
        form.close();
        form.Form_Terminate();
    }
    // With the demo gone, the simulated unit has stopped: its link is removed and its dumps
    // hold what the window wrote.
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(link)));
    const std::string flash = readFile(folder.file("unit.flash"));
    ASSERT_EQ(flash.size(), kAlaRFlashBytes);
    for (std::size_t a = 0; a < flash.size(); ++a) {
        ASSERT_EQ(static_cast<std::uint8_t>(flash[a]), sampleImage().FlashImage[a]) << a;
    }
    const std::string eeprom = readFile(folder.file("unit.eeprom"));
    ASSERT_EQ(eeprom.size(), kAlaREepromBytes);
    for (std::size_t a = 0; a < eeprom.size(); ++a) {
        ASSERT_EQ(static_cast<std::uint8_t>(eeprom[a]), sampleImage().EEimage[a]) << a;
    }
}

TEST_F(DemoWindow, RescueOkPowersTheSimulatedUnitUpIntoItsBootloader) {
    // Firmware too old for the command entry: only the rescue procedure reaches the bootloader,
    // and the demo plays the user's power-up when the rescue box is answered OK.
    QStringList args = simArgs();
    args << "--version"
         << "0022";
    DemoSession demo(args);
    ASSERT_TRUE(demo.unit().started()) << demo.unit().error().toStdString();
    const auto serial = sio::makePlatformLibrary(portDevice, &demo.settings());
    QtWaiter waiter;
    app::Form1::Services services{demo.settings(), *serial, waiter};
    services.ask = demo.ask([this](QWidget*, const MessageBox& box) {
        boxes.push_back(box);
        return Answer::Ok;
    });
    app::Form1 form(std::move(services));
    form.Form_Load();
    child<QCheckBox>(form, "chkRescue")->setChecked(true);
    child<QPushButton>(form, "btnFlashStart")->click();
    ASSERT_GE(boxes.size(), 2u);
    EXPECT_EQ(boxes.front().title, "Rescue Requires a Temorary Jumper");
    EXPECT_EQ(boxes.back().title, "Programming complete");
    EXPECT_EQ(form.sequence().lastOutcome(), RunOutcome::Complete);
    form.close();
    form.Form_Terminate();
}

}  // namespace
}  // namespace ondo::testing
