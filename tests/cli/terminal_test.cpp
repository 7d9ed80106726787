// On a terminal: the live progress line, and message boxes that become questions.

#include "cli/cli_fixture.h"

namespace ondo::testing {
namespace {

class OnATerminal : public DemoRun {};

const char* const kQuestion = "OK or Cancel? [o/c] ";

TEST_F(OnATerminal, AProgressLineShowsPhaseCountPercentElapsedAndTimeLeft) {
    CliRun run = demoRun({"--flash-only"});
    run.onTerminal = true;
    const CliResult r = run.run();
    ASSERT_FALSE(r.hung);
    EXPECT_EQ(r.exitCode, 0) << r.terminal;
    const std::string& t = r.terminal;
    EXPECT_TRUE(contains(t, "\r\033[KFlash: page 0 of 124 (0%), elapsed ")) << t;
    EXPECT_TRUE(contains(t, "\r\033[KFlash: page 62 of 124 (50%), elapsed ")) << t;
    EXPECT_TRUE(contains(t, "\r\033[KFlash: page 124 of 124 (100%), elapsed ")) << t;
    EXPECT_TRUE(contains(t, " left\r\033[K")) << "a time left while pages remain:\n" << t;
    // Status lines are printed over the progress line, which is drawn again below them.
    EXPECT_TRUE(contains(t, "\r\033[KFlashing complete. Awaiting soft reboot ...")) << t;
    // The restart takes thirty ticks, three seconds at least: the line keeps its elapsed time
    // moving meanwhile, though no count changes.
    EXPECT_GE(occurrences(t, "\r\033[KRestart, elapsed "), 2) << t;
    // The log stays plain on standard output.
    EXPECT_FALSE(contains(r.out, "\033")) << r.out;
    EXPECT_TRUE(contains(r.out, "=!=0=!=1=")) << r.out;
}

TEST_F(OnATerminal, AnEepromErrorBoxIsAskedAndOkSkipsTheAddress) {
    CliRun run = demoRun({}, "--ee-lower 0x000A");
    run.onTerminal = true;
    int asked = 0;
    run.onTerminalOutput = [&asked](const std::string& t) -> std::string {
        const int now = occurrences(t, kQuestion);
        if (now == asked) return {};
        asked = now;
        return asked == 1 ? "maybe\n" : "o\n";  // an answer it does not know is asked again
    };
    const CliResult r = run.run();
    ASSERT_FALSE(r.hung);
    EXPECT_EQ(r.exitCode, 8) << r.terminal;
    EXPECT_EQ(asked, 2) << r.terminal;
    EXPECT_TRUE(contains(r.terminal, "[EEPROM Program Error]\r\naddr = 000A, response = 000a\r\n"))
        << r.terminal;
    EXPECT_TRUE(contains(r.out, "\nEEPROM verifying\n")) << r.out;
    expectEepromIsSample();
}

TEST_F(OnATerminal, CancelAtTheQuestionStopsTheEepromUpdate) {
    CliRun run = demoRun({}, "--ee-lower 0x000A");
    run.onTerminal = true;
    run.onTerminalOutput = [](const std::string& t) -> std::string {
        return contains(t, kQuestion) && !contains(t, "c\r\n") ? "c\n" : "";
    };
    const CliResult r = run.run();
    ASSERT_FALSE(r.hung);
    EXPECT_EQ(r.exitCode, 9) << r.terminal;
    EXPECT_FALSE(contains(r.out, "EEPROM verifying")) << r.out;
    expectEepromErased(11);
}

TEST_F(OnATerminal, YesAnswersEveryBoxWithoutAsking) {
    CliRun run = demoRun({"--yes"}, "--ee-lower 0x000A");
    run.onTerminal = true;
    const CliResult r = run.run();
    ASSERT_FALSE(r.hung);
    EXPECT_EQ(r.exitCode, 8) << r.terminal;
    EXPECT_FALSE(contains(r.terminal, kQuestion)) << r.terminal;
    EXPECT_TRUE(contains(r.terminal, "[EEPROM Program Error] addr = 000A, response = 000a  -> OK"))
        << r.terminal;
}

}  // namespace
}  // namespace ondo::testing
