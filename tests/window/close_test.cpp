// The window closed at every stage of an update, by the user, by the Abort button or by a stop
// signal: the run comes to an end, the window closes exactly once (or stays, when only the run
// was stopped) and the settings are written at shut-down.

#include <QSignalSpy>
#include <QTest>
#include <csignal>

#include "app/stop_signals.h"
#include "window/window.h"

namespace ondo::app::testing {
namespace {

enum class How { UserClose, AbortButton, Terminate, Interrupt };
struct Stage {
    const char* name;
    Phase phase;  // the stop comes at the first wait once the run has reported this phase
    How how;
    bool closes;
    RunOutcome outcome;
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
    unit.answerDelay = 1;  // every page answer takes a tick, so the page loop yields
    store("port", "COM1");
    TestForm& f = shown();
    closeOnStopSignals(f);
    const std::string file = writeFile("run.HXF", kGoodHxf);
    child<QLineEdit>("tFlashFileName")->setText(QString::fromStdString(file));
    QTest::keyClick(child<QLineEdit>("tFlashFileName"), Qt::Key_Return);
    ASSERT_TRUE(f.image().FlashFileValid && f.link().PortOpen);
    QSignalSpy unloaded(&f, &Form1::unloaded);
    bool reached = false, stopped = false;
    std::size_t framesAtStop = 0;
    f.onProgress = [&](const Progress& p) { reached = reached || p.phase == s.phase; };
    auto stop = [&] {
        stopped = true;
        framesAtStop = unit.frames.size();
        if (s.how == How::UserClose) f.close();
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
        Stage{"Checking", Phase::Checking, How::UserClose, true, RunOutcome::Complete},
        Stage{"Bootloader", Phase::Bootloader, How::UserClose, true, RunOutcome::Aborted},
        Stage{"Pages", Phase::Pages, How::UserClose, true, RunOutcome::Aborted},
        Stage{"Restart", Phase::Restart, How::UserClose, true, RunOutcome::Complete},
        Stage{"Firmware", Phase::Firmware, How::UserClose, true, RunOutcome::Complete},
        Stage{"EepromWrite", Phase::EepromWrite, How::UserClose, true, RunOutcome::Complete},
        Stage{"EepromVerify", Phase::EepromVerify, How::UserClose, true, RunOutcome::Complete},
        Stage{"Done", Phase::Done, How::UserClose, true, RunOutcome::Complete},
        Stage{"AbortAwaitingTheBootloaderLeavesTheWindowOpen", Phase::Bootloader, How::AbortButton,
              false, RunOutcome::Aborted},
        Stage{"TerminateInThePagesIsAnAbortThenACloseOnce", Phase::Pages, How::Terminate, true,
              RunOutcome::Aborted},
        Stage{"InterruptWhenIdleClosesAsTheUserWould", Phase::Done, How::Interrupt, true,
              RunOutcome::Complete}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ondo::app::testing
