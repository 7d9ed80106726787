// The option boxes' handlers and the Abort button.

#include "flash/flash_bench.h"

namespace ondo::testing {
namespace {

class Options : public FlashBench {
  protected:
    void tick(Option which, bool on) { face.options[which] = on; }
    bool ticked(Option which) const { return face.option(which); }
};

TEST_F(Options, TickingEEOnlyClearsFlashOnlyAndRescue) {
    tick(Option::FlashOnly, true);
    tick(Option::Rescue, true);
    tick(Option::EEOnly, true);
    seq.chkEEOnly_Click();
    EXPECT_TRUE(ticked(Option::EEOnly));
    EXPECT_FALSE(ticked(Option::FlashOnly));
    EXPECT_FALSE(ticked(Option::Rescue));
}

TEST_F(Options, ClearingEEOnlyTouchesNothingElse) {
    tick(Option::FlashOnly, true);
    tick(Option::Rescue, true);
    tick(Option::EEOnly, false);
    seq.chkEEOnly_Click();
    EXPECT_TRUE(ticked(Option::FlashOnly));
    EXPECT_TRUE(ticked(Option::Rescue));
}

TEST_F(Options, TickingFlashOnlyClearsEEOnlyButNotRescue) {
    tick(Option::EEOnly, true);
    tick(Option::Rescue, true);
    tick(Option::FlashOnly, true);
    seq.chkFlashOnly_Click();
    EXPECT_FALSE(ticked(Option::EEOnly));
    EXPECT_TRUE(ticked(Option::Rescue));
    EXPECT_TRUE(ticked(Option::FlashOnly));
}

TEST_F(Options, ClearingFlashOnlyLeavesEEOnly) {
    tick(Option::EEOnly, true);
    tick(Option::FlashOnly, false);
    seq.chkFlashOnly_Click();
    EXPECT_TRUE(ticked(Option::EEOnly));
}

TEST_F(Options, PromptBoxWritesThePromptSettingWithABlank) {
    tick(Option::PromptOnComplete, false);
    seq.chkPromptOnComplete_Click();
    EXPECT_EQ(seq.PromptSetting, " 0");
    tick(Option::PromptOnComplete, true);
    seq.chkPromptOnComplete_Click();
    EXPECT_EQ(seq.PromptSetting, " 1");
}

TEST_F(Options, AbortButtonRequestsAnAbortAndDisablesItself) {
    face.abortEnabled = true;
    seq.btnAbort_Click();
    EXPECT_TRUE(link.AbortRequested);
    EXPECT_FALSE(face.abortEnabled);
    EXPECT_EQ(face.closeRequests, 0);
}

TEST_F(Options, HandlersSendNothing) {
    seq.chkEEOnly_Click();
    seq.chkFlashOnly_Click();
    seq.chkPromptOnComplete_Click();
    seq.btnAbort_Click();
    EXPECT_EQ(serial.sent, "");
}

}  // namespace
}  // namespace ondo::testing
