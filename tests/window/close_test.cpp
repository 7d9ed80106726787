// The window closed at every stage of an update, by the user (also in the rescue box and its
// wait), by the Abort button or by a stop signal. Before the bootloader command a close is granted
// and the run stops; from it on a close is refused, acts as Abort does there, and the window stays
// open (the outcome stays readable) until the next close. The unit holds what the stage allows,
// and the settings are written at shut-down.

#include <QCheckBox>
#include <QSignalSpy>
#include <QTest>
#include <csignal>

#include "app/stop_signals.h"
#include "window/window.h"

namespace ondo::app::testing {
namespace {

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
void PrintTo(const Stage& s, std::ostream* out) {
    *out << s.name;
}

class CloseAtStage : public WindowTest, public ::testing::WithParamInterface<Stage> {
  protected:
    void TearDown() override {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    }
};

TEST_P(CloseAtStage, RunEndsAndTheWindowClosesOnceOrStays) {
    const Stage& s = GetParam();
    serial.present = {0};
    unit.answerDelay = 1;  // every answer takes a tick, so every phase yields
    unit.replyDelay = 1;
    const bool rescue = s.how == How::RescueBox || s.how == How::RescueWait;
    store("port", "COM1");
    TestForm& f = shown();
    closeOnStopSignals(f);
    const std::string file = writeFile("run.HXF", kGoodHxf);
    child<QLineEdit>("tFlashFileName")->setText(QString::fromStdString(file));
    QTest::keyClick(child<QLineEdit>("tFlashFileName"), Qt::Key_Return);
    ASSERT_TRUE(f.image().FlashFileValid && f.link().PortOpen);
    child<QCheckBox>("chkRescue")->setChecked(rescue);
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
        if (s.how == How::AbortButton)
            QTest::mouseClick(child<QPushButton>("btnAbort"), Qt::LeftButton);
        if (s.how == How::Terminate || s.how == How::Interrupt) {
            std::raise(s.how == How::Terminate ? SIGTERM : SIGINT);
            QTest::qWait(50);  // the signal reaches the window through its event loop
        }
    };
    clock.beforeTick = [&](int) {
        if (reached && !stopped) stop();
    };
    QTest::mouseClick(child<QPushButton>("btnFlashStart"), Qt::LeftButton);
    ASSERT_TRUE(reached);
    if (!stopped) stop();  // nothing waits after the report: the window is idle by then
    QTest::qWait(50);
    EXPECT_EQ(f.sequence().lastOutcome(), s.outcome);
    EXPECT_FALSE(f.sequence().running());
    EXPECT_FALSE(f.sequence().Flashing);
    EXPECT_EQ(f.isVisible(), !s.closes);
    EXPECT_EQ(unloaded.count(), s.closes ? 1 : 0);
    EXPECT_EQ(unit.commandCount("b0023"), s.bootloaderCommands);
    EXPECT_EQ(unit.restarts, s.pagesDone ? 1 : 0);
    EXPECT_EQ(unit.eeprom[0x10], s.pagesDone ? 0xA5 : 0xFF);
    if (s.bootloaderCommands == 0) {
        EXPECT_TRUE(unit.frames.empty());
    }
    if (!s.closes && s.how == How::UserClose) {
        EXPECT_TRUE(f.close()) << "the next close closes";
        EXPECT_EQ(unloaded.count(), 1);
    }
    if (s.outcome == RunOutcome::Aborted && s.phase == Phase::Pages) {
        EXPECT_LE(unit.frames.size(), framesAtStop + 1) << "at most the frame on its way";
        EXPECT_EQ(unit.restarts, 0);
        EXPECT_EQ(unit.commandCount("m0"), 1) << "the version check's; no EEPROM update";
    }
    closeAndEnd();
    EXPECT_EQ(stored("port"), "COM1");
    EXPECT_EQ(stored("flashFile"), file);
    EXPECT_FALSE(stored("formwidth").empty());
    EXPECT_EQ(stored("prompt"), " 1");
}

INSTANTIATE_TEST_SUITE_P(
    Window, CloseAtStage,
    ::testing::Values(
        Stage{"VersionCheck", Phase::Checking, How::UserClose, true, RunOutcome::Cancelled, 0,
              false},
        Stage{"RescueBox", Phase::Checking, How::RescueBox, true, RunOutcome::Cancelled, 0, false},
        Stage{"RescueWait", Phase::Bootloader, How::RescueWait, true, RunOutcome::Aborted, 0,
              false},
        Stage{"BootloaderWait", Phase::Bootloader, How::UserClose, false, RunOutcome::Aborted, 1,
              false},
        Stage{"Pages", Phase::Pages, How::UserClose, false, RunOutcome::Aborted, 1, false},
        Stage{"RestartWait", Phase::Restart, How::UserClose, false, RunOutcome::Complete, 1, true},
        Stage{"Firmware", Phase::Firmware, How::UserClose, false, RunOutcome::Complete, 1, true},
        Stage{"EepromWrite", Phase::EepromWrite, How::UserClose, false, RunOutcome::Complete, 1,
              true},
        Stage{"EepromVerify", Phase::EepromVerify, How::UserClose, false, RunOutcome::Complete, 1,
              true},
        Stage{"AfterTheReport", Phase::Done, How::UserClose, true, RunOutcome::Complete, 1, true},
        Stage{"AbortAwaitingTheBootloaderLeavesTheWindowOpen", Phase::Bootloader, How::AbortButton,
              false, RunOutcome::Aborted, 1, false},
        Stage{"TerminateInThePagesIsAnAbortWindowStays", Phase::Pages, How::Terminate, false,
              RunOutcome::Aborted, 1, false},
        Stage{"InterruptWhenIdleClosesAsTheUserWould", Phase::Done, How::Interrupt, true,
              RunOutcome::Complete, 1, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ondo::app::testing
