// What the window reads from the settings store at start-up and writes back at shut-down.

#include <QGuiApplication>
#include <QScreen>

#include "app/app_fixture.h"
#include "app/twips.h"

namespace ondo::app::testing {
namespace {

int screenHeightTwips() {
    return toTwips(QGuiApplication::primaryScreen()->geometry().height());
}
int screenWidthTwips() {
    return toTwips(QGuiApplication::primaryScreen()->geometry().width());
}

TEST(StoreNumbers, WrittenWithABlankOrAMinus) {
    EXPECT_EQ(formatNumber(1234), " 1234");
    EXPECT_EQ(formatNumber(0), " 0");
    EXPECT_EQ(formatNumber(-15), "-15");
}

TEST(StoreNumbers, ReadLeniently) {
    EXPECT_EQ(readNumber("  12abc"), 12);
    EXPECT_EQ(readNumber("2.5"), 2);
    EXPECT_EQ(readNumber("3.5"), 4);
    EXPECT_EQ(readNumber("x"), 0);
    EXPECT_EQ(readNumber(""), 0);
    EXPECT_EQ(readNumber("-15"), -15);
}

using Startup = WindowTest;

TEST_F(Startup, EmptyStoreOpensTopLeftAtCreationSizeWithPromptTicked) {
    Form1& f = load();
    EXPECT_EQ(f.pos(), QPoint(0, 0));
    EXPECT_EQ(f.outerWidth(), 5700);
    EXPECT_EQ(f.outerHeight(), 5490);
    EXPECT_EQ(f.MinWidth, 5700);
    EXPECT_EQ(f.MinHeight, 5490);
    EXPECT_TRUE(child<QCheckBox>("chkPromptOnComplete")->isChecked());
    EXPECT_EQ(f.sequence().PromptSetting, " 1");  // ticking it ran its click handler
    EXPECT_TRUE(child<QLineEdit>("tFlashFileName")->text().isEmpty());
    EXPECT_TRUE(child<QLineEdit>("tCmd")->text().isEmpty());
    EXPECT_FALSE(f.image().FlashFileValid);
    EXPECT_EQ(child<QLabel>("labStat")->text(), "No COM port available");
    EXPECT_EQ(f.sequence().EESize, 512);
    EXPECT_FALSE(child<QPushButton>("btnAbort")->isEnabled());
}

TEST_F(Startup, TopAtScreenHeightMinus400IsNotApplied) {
    store("formtop", formatNumber(screenHeightTwips() - 400));
    Form1& f = make();
    const int before = f.pos().y();
    f.Form_Load();
    EXPECT_EQ(f.pos().y(), before);
    EXPECT_NE(f.pos().y(), toPixels(screenHeightTwips() - 400));
}

TEST_F(Startup, TopAtScreenHeightMinus401IsApplied) {
    store("formtop", formatNumber(screenHeightTwips() - 401));
    Form1& f = load();
    EXPECT_EQ(f.pos().y(), toPixels(screenHeightTwips() - 401));
}

TEST_F(Startup, LeftFollowsTheSameRuleWithTheScreenWidth) {
    store("formleft", formatNumber(screenWidthTwips() - 401));
    Form1& f = load();
    EXPECT_EQ(f.pos().x(), toPixels(screenWidthTwips() - 401));
}

TEST_F(Startup, NegativeTopAndLeftAreApplied) {
    store("formtop", "-150");
    store("formleft", "-300");
    Form1& f = load();
    EXPECT_EQ(f.pos(), QPoint(-20, -10));
}

TEST_F(Startup, LenientMeasuresFromTheStore) {
    store("formleft", "  150abc");
    store("formtop", "x");
    Form1& f = load();
    EXPECT_EQ(f.pos(), QPoint(10, 0));
}

TEST_F(Startup, SmallSavedSizeIsRaisedToTheCreationSize) {
    store("formwidth", " 3000");
    store("formheight", " 1500");
    Form1& f = load();
    EXPECT_EQ(f.outerWidth(), 5700);
    EXPECT_EQ(f.outerHeight(), 5490);
}

TEST_F(Startup, LargerSavedSizeIsAppliedUnchanged) {
    store("formwidth", " 9000");
    store("formheight", " 7500");
    Form1& f = load();
    EXPECT_EQ(f.outerWidth(), 9000);
    EXPECT_EQ(f.outerHeight(), 7500);
    EXPECT_EQ(f.MinWidth, 5700);  // the minimum is the creation size, not the saved one
    EXPECT_EQ(f.MinHeight, 5490);
}

TEST_F(Startup, PromptStoredAsZeroLeavesTheBoxUnticked) {
    store("prompt", "0");
    Form1& f = load();
    EXPECT_FALSE(child<QCheckBox>("chkPromptOnComplete")->isChecked());
    EXPECT_EQ(f.sequence().PromptSetting, "0");
}

TEST_F(Startup, PromptStoredAsOneWithOrWithoutBlankTicksTheBox) {
    for (const char* value : {"1", " 1"}) {
        store("prompt", value);
        Form1& f = load();
        EXPECT_TRUE(child<QCheckBox>("chkPromptOnComplete")->isChecked()) << value;
        EXPECT_EQ(f.sequence().PromptSetting, " 1") << value;
        form.reset();
    }
}

TEST_F(Startup, LastCommandGoesIntoTheBoxButNotIntoLastCmd) {
    store("lastcmd", "v");
    Form1& f = load();
    EXPECT_EQ(child<QLineEdit>("tCmd")->text(), "v");
    EXPECT_EQ(f.console().LastCmd, "");
}

TEST_F(Startup, RememberedFileIsPutIntoTheBoxAndRead) {
    const std::string file = writeFile("good.HXF", kGoodHxf);
    store("flashFile", file);
    Form1& f = load();
    EXPECT_EQ(child<QLineEdit>("tFlashFileName")->text().toStdString(), file);
    EXPECT_EQ(f.FlashFilePath, file);
    EXPECT_TRUE(f.image().FlashFileValid);
    EXPECT_EQ(f.image().FlashImage[0], 0x55);
    EXPECT_EQ(f.image().EEimage[0x10], 0xA5);
}

TEST_F(Startup, RevisionInTheLabelAndTheTitle) {
    Form1& f = load();
    EXPECT_EQ(child<QLabel>("tRev")->text(), "Rev 2.1a");
    EXPECT_EQ(f.windowTitle(), "Ondo FLASH utility - Rev 2.1a");
}

using Shutdown = WindowTest;

TEST_F(Shutdown, MeasuresAreWrittenInTheStoreFormat) {
    store("formtop", "-15");
    store("formleft", " 300");
    store("formwidth", " 9000");
    store("formheight", " 6000");
    load().show();
    closeAndEnd();
    EXPECT_EQ(stored("formtop"), "-15");
    EXPECT_EQ(stored("formleft"), " 300");
    EXPECT_EQ(stored("formwidth"), " 9000");
    EXPECT_EQ(stored("formheight"), " 6000");
}

TEST_F(Shutdown, EmptiedFileBoxKeepsTheStoredFile) {
    store("flashFile", "/no/such/firmware.HXF");
    load();
    child<QLineEdit>("tFlashFileName")->clear();
    closeAndEnd();
    EXPECT_EQ(stored("flashFile"), "/no/such/firmware.HXF");
}

TEST_F(Shutdown, TypedNameWithoutEnterIsTheNameSaved) {
    load();
    child<QLineEdit>("tFlashFileName")->setText("typed.HXF");
    EXPECT_FALSE(form->image().FlashFileValid);
    closeAndEnd();
    EXPECT_EQ(stored("flashFile"), "typed.HXF");
}

TEST_F(Shutdown, LastCmdWrittenEmptyWhenNothingWasSent) {
    store("lastcmd", "v");
    load();
    closeAndEnd();
    EXPECT_EQ(stored("lastcmd"), "");
}

TEST_F(Shutdown, PromptWrittenAsTheClickLeftIt) {
    load().show();
    child<QCheckBox>("chkPromptOnComplete")->click();  // the user unticks it
    closeAndEnd();
    EXPECT_EQ(stored("prompt"), " 0");
}

TEST_F(Shutdown, PromptZeroIsWrittenBackUnchanged) {
    store("prompt", "0");
    load();
    closeAndEnd();
    EXPECT_EQ(stored("prompt"), "0");
}

TEST_F(Shutdown, NoPortOpenWritesEverythingAndCallsNoSerialOperation) {
    load();
    const std::size_t calls = serial.calls.size();
    closeAndEnd();
    EXPECT_EQ(serial.calls.size(), calls);
    EXPECT_EQ(stored("port"), "");
    EXPECT_EQ(stored("formwidth"), " 5700");
    EXPECT_EQ(stored("prompt"), " 1");
}

TEST_F(Shutdown, OpenPortIsClosedAndRemembered) {
    serial.present = {2};
    load();
    ASSERT_TRUE(form->link().PortOpen);
    closeAndEnd();
    EXPECT_EQ(serial.calls.back(), "SioDone(2)");
    EXPECT_EQ(stored("port"), "COM3");
}

TEST_F(Shutdown, TerminateRunsOnce) {
    serial.present = {0};
    load();
    form->close();
    form->Form_Terminate();
    const std::size_t calls = serial.calls.size();
    form.reset();  // the destructor does not write or close again
    EXPECT_EQ(serial.calls.size(), calls);
}

}  // namespace
}  // namespace ondo::app::testing
