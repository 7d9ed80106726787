// The window closed by the user at every stage of an update: while the version is checked, in the
// rescue box and its wait, while the bootloader is awaited, in the page loop, in the restart
// wait, while the restarted firmware is greeted, in both EEPROM passes and after the report.
// Whatever the stage, the run comes to its end, the unit holds what that stage allows, the window
// closes exactly once, and the settings are written at shut-down.

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include "app/app_fixture.h"
#include "support/scripted_unit.h"

namespace ondo::app::testing {
namespace {

using ondo::testing::ScriptedUnit;

// The window with the engine's progress reports visible to the test.
class ProbedForm : public Form1 {
  public:
    using Form1::Form1;
    void progress(const Progress& p) override {
        Form1::progress(p);
        if (onProgress) onProgress(p);
    }
    std::function<void(const Progress&)> onProgress;
};

// One row: where the user closes the window, and what must follow. Before anything reaches the
// bootloader the close is granted and the run stops; from the bootloader command on it is
// refused, acts as Abort does there, and the window stays open until the next close.
struct CloseRow {
    const char* name;
    Phase stage;
    bool rescue;
    bool inRescueBox;  // closed while the rescue box is up (a stop signal can do that)
    bool windowStays;
    RunOutcome outcome;
    int bootloaderCommands;  // "b0023" received
    bool pagesDone;
};

const CloseRow kCloseRows[] = {
    {"VersionCheck", Phase::Checking, false, false, false, RunOutcome::Cancelled, 0, false},
    {"RescueBox", Phase::Checking, true, true, false, RunOutcome::Cancelled, 0, false},
    {"RescueWait", Phase::Bootloader, true, false, false, RunOutcome::Aborted, 0, false},
    {"BootloaderWait", Phase::Bootloader, false, false, true, RunOutcome::Aborted, 1, false},
    {"Pages", Phase::Pages, false, false, true, RunOutcome::Aborted, 1, false},
    {"RestartWait", Phase::Restart, false, false, true, RunOutcome::Complete, 1, true},
    {"Firmware", Phase::Firmware, false, false, true, RunOutcome::Complete, 1, true},
    {"EepromWrite", Phase::EepromWrite, false, false, true, RunOutcome::Complete, 1, true},
    {"EepromVerify", Phase::EepromVerify, false, false, true, RunOutcome::Complete, 1, true},
    {"AfterTheReport", Phase::Done, false, false, false, RunOutcome::Complete, 1, true},
};

void PrintTo(const CloseRow& row, std::ostream* out) { *out << row.name; }

class CloseAtStage : public WindowTest, public ::testing::WithParamInterface<CloseRow> {
  protected:
    CloseAtStage() : unit(serial, clock) {
        serial.present = {0};
        unit.answerDelay = 1;  // every answer takes a tick, so every phase yields
        unit.replyDelay = 1;
    }

    ProbedForm& start(bool rescue = false, bool closeInRescueBox = false) {
        store("port", "COM1");
        settings = std::make_unique<Settings>(iniPath());
        Form1::Services services{*settings, serial, clock};
        services.ask = [this, rescue, closeInRescueBox](QWidget*, const MessageBox& box) {
            boxes.push_back(box);
            if (closeInRescueBox) form->close();
            if (rescue && !closeInRescueBox) unit.bootloaderSilent = true;
            return Answer::Ok;
        };
        services.openFile = [](QWidget*, const std::string& preset) { return preset; };
        auto probed = std::make_unique<ProbedForm>(std::move(services));
        ProbedForm& f = *probed;
        form = std::move(probed);
        clock.onTick = [this] { form->link().Timer1_Timer(); };
        f.Form_Load();
        f.show();
        QCoreApplication::processEvents();
        file = writeFile("run.HXF", kGoodHxf);
        child<QLineEdit>("tFlashFileName")->setText(QString::fromStdString(file));
        QTest::keyClick(child<QLineEdit>("tFlashFileName"), Qt::Key_Return);
        EXPECT_TRUE(f.image().FlashFileValid);
        EXPECT_TRUE(f.link().PortOpen);
        if (rescue) child<QCheckBox>("chkRescue")->setChecked(true);
        return f;
    }

    ScriptedUnit unit;
    std::string file;
};

TEST_P(CloseAtStage, GrantedBeforeTheBootloaderRefusedAfterAndTheUnitAsExpected) {
    const CloseRow& row = GetParam();
    ProbedForm& f = start(row.rescue, row.inRescueBox);
    QSignalSpy unloaded(&f, &Form1::unloaded);
    bool reached = false;
    bool closed = row.inRescueBox;
    f.onProgress = [&](const Progress& p) { reached = reached || p.phase == row.stage; };
    // The user's close arrives as the event loop runs, that is while the run yields.
    clock.beforeTick = [&](int) {
        if (!reached || closed) return;
        closed = true;
        f.close();
    };
    QTest::mouseClick(child<QPushButton>("btnFlashStart"), Qt::LeftButton);
    ASSERT_TRUE(reached);
    if (!closed) {
        closed = true;  // nothing yields after the report: the user closes the idle window
        f.close();
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(f.sequence().running());
    EXPECT_FALSE(f.sequence().Flashing);
    EXPECT_EQ(f.sequence().lastOutcome(), row.outcome);
    EXPECT_EQ(unit.commandCount("b0023"), row.bootloaderCommands);
    EXPECT_EQ(unit.restarts, row.pagesDone ? 1 : 0);
    EXPECT_EQ(unit.eeprom[0x10], row.pagesDone ? 0xA5 : 0xFF);
    if (row.bootloaderCommands == 0) {
        EXPECT_TRUE(unit.frames.empty());
    }
    EXPECT_EQ(f.isVisible(), row.windowStays);
    EXPECT_EQ(unloaded.count(), row.windowStays ? 0 : 1);
    if (row.windowStays) {
        EXPECT_TRUE(f.close());  // the next close closes
        EXPECT_EQ(unloaded.count(), 1);
    }
    closeAndEnd();
    EXPECT_EQ(stored("port"), "COM1");
    EXPECT_EQ(stored("flashFile"), file);
    EXPECT_FALSE(stored("formwidth").empty());
    EXPECT_FALSE(stored("prompt").empty());
}

INSTANTIATE_TEST_SUITE_P(EveryStage, CloseAtStage, ::testing::ValuesIn(kCloseRows),
                         [](const auto& info) { return std::string(info.param.name); });

// Closed in the page loop the run stops before the next frame: the unit is left in its
// bootloader, no EEPROM command follows, and the user is told it needs a rescue.
TEST_F(CloseAtStage, CloseInThePageLoopStopsBeforeTheNextFrame) {
    ProbedForm& f = start();
    std::size_t framesAtClose = 0;
    clock.beforeTick = [&](int) {
        if (framesAtClose != 0 || unit.frames.size() < 10) return;
        framesAtClose = unit.frames.size();
        f.close();
    };
    QTest::mouseClick(child<QPushButton>("btnFlashStart"), Qt::LeftButton);
    ASSERT_GE(framesAtClose, 10u);
    EXPECT_LE(unit.frames.size(), framesAtClose + 1);  // at most the frame already on its way
    EXPECT_EQ(f.sequence().lastOutcome(), RunOutcome::Aborted);
    EXPECT_EQ(unit.restarts, 0);
    EXPECT_EQ(unit.commandCount("m0"), 1);  // the version check's; no EEPROM update began
    EXPECT_TRUE(f.isVisible());
}

}  // namespace
}  // namespace ondo::app::testing
