// The window closed by the user at every stage of an update: while the version is checked, while
// the bootloader is awaited, in the page loop, in the restart wait, while the restarted firmware
// is greeted, in both EEPROM passes and after the report. Whatever the stage, the run comes to an
// end, the window ends up closed exactly once, and the settings are written at shut-down.

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

const char* phaseName(Phase phase) {
    static const char* const kNames[] = {"Checking", "Bootloader",  "Pages",        "Restart",
                                         "Firmware", "EepromWrite", "EepromVerify", "Done"};
    return kNames[static_cast<int>(phase)];
}

class CloseAtStage : public WindowTest, public ::testing::WithParamInterface<Phase> {
  protected:
    CloseAtStage() : unit(serial, clock) {
        serial.present = {0};
        unit.answerDelay = 1;  // every page answer takes a tick, so the page loop yields
    }

    ProbedForm& start() {
        store("port", "COM1");
        settings = std::make_unique<Settings>(iniPath());
        Form1::Services services{*settings, serial, clock};
        services.ask = [this](QWidget*, const MessageBox& box) {
            boxes.push_back(box);
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
        return f;
    }

    ScriptedUnit unit;
    std::string file;
};

TEST_P(CloseAtStage, RunEndsWindowClosesOnceSettingsWritten) {
    ProbedForm& f = start();
    QSignalSpy unloaded(&f, &Form1::unloaded);
    bool reached = false;
    bool closed = false;
    f.onProgress = [&](const Progress& p) { reached = reached || p.phase == GetParam(); };
    // The user's close arrives as the event loop runs, that is while the run yields.
    clock.beforeTick = [&](int) {
        if (!reached || closed) return;
        closed = true;
        f.close();
    };
    QTest::mouseClick(child<QPushButton>("btnFlashStart"), Qt::LeftButton);
    ASSERT_TRUE(reached) << phaseName(GetParam());
    if (!closed) {
        closed = true;  // nothing yields after the report: the user closes the idle window
        f.close();
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(f.sequence().running());
    EXPECT_FALSE(f.sequence().Flashing);
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(unloaded.count(), 1);
    std::printf("[ outcome  ] closed at %s: run ended %d, %zu frames, %d restarts\n",
                phaseName(GetParam()), static_cast<int>(f.sequence().lastOutcome()),
                unit.frames.size(), unit.restarts);
    closeAndEnd();
    EXPECT_EQ(stored("port"), "COM1");
    EXPECT_EQ(stored("flashFile"), file);
    EXPECT_FALSE(stored("formwidth").empty());
    EXPECT_FALSE(stored("prompt").empty());
}

INSTANTIATE_TEST_SUITE_P(EveryStage, CloseAtStage,
                         ::testing::Values(Phase::Checking, Phase::Bootloader, Phase::Pages,
                                           Phase::Restart, Phase::Firmware, Phase::EepromWrite,
                                           Phase::EepromVerify, Phase::Done),
                         [](const auto& info) { return std::string(phaseName(info.param)); });

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
    EXPECT_FALSE(f.isVisible());
}

}  // namespace
}  // namespace ondo::app::testing
