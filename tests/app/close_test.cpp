// The close request: refused while an update owns the unit, and what becomes of a refused close.

#include <QSignalSpy>
#include <QTest>
#include <csignal>

#include "app/app_fixture.h"
#include "app/stop_signals.h"
#include "support/scripted_unit.h"

namespace ondo::app::testing {
namespace {

using ondo::testing::ScriptedUnit;

using Close = WindowTest;

TEST_F(Close, RefusedWhileFlashingAndGrantedAfter) {
    Form1& f = load();
    f.show();
    f.sequence().Flashing = true;
    EXPECT_FALSE(f.close());
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(f.link().AbortRequested);
    EXPECT_TRUE(boxes.empty());  // no question, no message
    f.sequence().Flashing = false;
    QSignalSpy unloaded(&f, &Form1::unloaded);
    EXPECT_TRUE(f.close());
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(unloaded.count(), 1);
}

TEST_F(Close, TakesTheOuterMeasures) {
    store("formtop", " 150");
    store("formleft", " 300");
    Form1& f = load();
    f.show();
    setOuterSize(6000, 6300);
    f.close();
    EXPECT_EQ(f.WinTop, 150);
    EXPECT_EQ(f.WinLeft, 300);
    EXPECT_EQ(f.WinWidth, 6000);
    EXPECT_EQ(f.WinHeight, 6300);
}

// A run that has entered the bootloader and waits for its prompt: Flashing is set.
class CloseDuringRun : public WindowTest {
  protected:
    CloseDuringRun() : unit(serial, clock) {
        serial.present = {0};
        unit.bootloaderSilent = true;
    }
    Form1& ready() {
        Form1& f = load();
        f.show();
        QCoreApplication::processEvents();  // the first focus and its port list build
        const std::string file = writeFile("run.HXF", kGoodHxf);
        child<QLineEdit>("tFlashFileName")->setText(QString::fromStdString(file));
        QTest::keyClick(child<QLineEdit>("tFlashFileName"), Qt::Key_Return);
        EXPECT_TRUE(f.image().FlashFileValid);
        EXPECT_TRUE(f.link().PortOpen);
        return f;
    }
    // Runs the action once, on the first tick while the run waits with Flashing set.
    void duringTheWait(std::function<void()> action) {
        clock.beforeTick = [this, action, done = false](int) mutable {
            if (done || !form->sequence().Flashing) return;
            done = true;
            action();
        };
    }
    ScriptedUnit unit;
};

TEST_F(CloseDuringRun, RefusedCloseLeavesTheWindowOpenUntilTheNextClose) {
    Form1& f = ready();
    QSignalSpy unloaded(&f, &Form1::unloaded);
    bool refused = false;
    duringTheWait([&] {
        refused = !f.close();  // the user's close box
    });
    QTest::mouseClick(child<QPushButton>("btnFlashStart"), Qt::LeftButton);
    EXPECT_TRUE(refused);
    EXPECT_EQ(unit.commandCount("b0023"), 1);
    EXPECT_TRUE(f.isVisible());  // the outcome stays readable
    EXPECT_EQ(unloaded.count(), 0);
    EXPECT_TRUE(f.close());
    EXPECT_EQ(unloaded.count(), 1);
}

TEST_F(CloseDuringRun, EngineCloseRefusedDuringTheRunIsNotRepeated) {
    Form1& f = ready();
    QSignalSpy unloaded(&f, &Form1::unloaded);
    duringTheWait([&] { QTest::mouseClick(child<QPushButton>("btnAbort"), Qt::LeftButton); });
    QTest::mouseClick(child<QPushButton>("btnFlashStart"), Qt::LeftButton);
    EXPECT_EQ(unit.commandCount("b0023"), 1);
    EXPECT_TRUE(f.link().AbortRequested);
    EXPECT_FALSE(f.sequence().Flashing);
    EXPECT_TRUE(f.isVisible());  // the sequence's own close request was refused, and stays so
    EXPECT_EQ(unloaded.count(), 0);
}

}  // namespace
}  // namespace ondo::app::testing

namespace ondo::app::testing {
namespace {

// The handlers stay only for the test that installs them.
class StopSignal : public WindowTest {
  protected:
    void TearDown() override {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    }
};

constexpr int kSignalWaitMs = 5000;  // generous: only a hang fails

TEST_F(StopSignal, InterruptClosesTheWindowAsTheUserWould) {
    Form1& f = load();
    f.show();
    closeOnStopSignals(f);
    std::raise(SIGINT);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !f.isVisible(); }, kSignalWaitMs));
}

TEST_F(StopSignal, TerminateWhileFlashingBecomesAnAbort) {
    Form1& f = load();
    f.show();
    closeOnStopSignals(f);
    f.sequence().Flashing = true;
    std::raise(SIGTERM);
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.link().AbortRequested; }, kSignalWaitMs));
    EXPECT_TRUE(f.isVisible());
    f.sequence().Flashing = false;
}

}  // namespace
}  // namespace ondo::app::testing
