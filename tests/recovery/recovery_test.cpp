// Recovery: after a run that failed half-way, a second run brings the unit to the image. Where the
// failed run left the unit in its bootloader, the second run uses the rescue entry (the simulated
// unit's "rescue" power-up when the utility's rescue box is answered); where the unit vanished,
// it is plugged in again and updated as usual. The real command-line mode against the simulated
// unit, as a workshop script would run it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "soak/flash_process.h"
#include "soak/soak_run.h"
#include "support/sim_process.h"

namespace ondo::testing {
namespace {

// A clean run takes seconds; only a hang comes near these.
constexpr std::chrono::seconds kRunBound{240};
constexpr std::chrono::seconds kSilence{30};
constexpr int kAlaRPages = 124;
constexpr int kAlaRPageSize = 64;
constexpr int kAlaREeprom = 512;

struct RunReport {
    int exitCode = -1;
    std::string outcome;     // of the final JSON event
    bool rescueBox = false;  // the rescue box was shown and answered
    std::string output;
};

bool has(const std::string& line, const std::string& part) {
    return line.find(part) != std::string::npos;
}

class Recovery : public ::testing::Test {
  protected:
    Recovery() : firmware(firmwarePath()) {}
    ~Recovery() override { std::filesystem::remove(firmware.path); }

    static std::string firmwarePath() {
        return (std::filesystem::temp_directory_path() /
                ("ondo-recovery-" + std::to_string(::getpid()) + ".HXF"))
            .string();
    }

    bool startUnit(const std::vector<std::string>& options) {
        unit = std::make_unique<SimProcess>(options);
        EXPECT_TRUE(unit->started()) << unit->error();
        return unit->started();
    }

    // One "ondo-flash flash" on the unit's port with the soak firmware and JSON progress. With
    // --rescue, the rescue box's answer is followed by the unit's power-up with the jumper.
    RunReport flash(std::vector<std::string> options,
                    const std::function<void(FlashProcess&, const std::string&)>& onLine = {}) {
        const std::string folder = unit->folder() + "/run" + std::to_string(++runs);
        std::filesystem::create_directory(folder);
        std::vector<std::string> args = {"flash",  "--port",      unit->linkPath(),
                                         "--file", firmware.path, "--progress=json"};
        args.insert(args.end(), options.begin(), options.end());
        FlashProcess process(args, folder);
        RunReport report;
        report.exitCode = process.wait(kRunBound, kSilence, [&](const std::string& line) {
            if (has(line, "\"event\":\"box\"") && has(line, "Rescue Requires") &&
                has(line, "\"answer\":\"ok\"")) {
                report.rescueBox = true;
                EXPECT_TRUE(unit->control("rescue"));
            }
            if (has(line, "\"event\":\"end\"")) report.outcome = line;
            if (onLine) onLine(process, line);
        });
        EXPECT_FALSE(process.hung()) << "the run was killed after " << process.seconds() << " s";
        report.output = process.output();
        return report;
    }

    long long stat(const std::string& key) {
        EXPECT_TRUE(unit->control("dump"));
        const auto stats = unit->stats();
        const auto it = stats.find(key);
        return it == stats.end() ? -1 : it->second;
    }

    void expectUnitHoldsTheImage() {
        ASSERT_TRUE(unit->control("dump"));
        const auto flash = unit->flash();
        ASSERT_EQ(flash.size(), static_cast<std::size_t>(kAlaRPages * kAlaRPageSize));
        for (std::size_t a = 0; a < flash.size(); ++a)
            ASSERT_EQ(flash[a], firmware.flash[a]) << "flash address " << a;
        const auto eeprom = unit->eeprom();
        ASSERT_EQ(eeprom.size(), static_cast<std::size_t>(kAlaREeprom));
        for (std::size_t a = 0; a < eeprom.size(); ++a)
            ASSERT_EQ(eeprom[a], firmware.eeprom[a]) << "EEPROM address " << a;
    }

    SoakFirmware firmware;
    std::unique_ptr<SimProcess> unit;
    int runs = 0;
};

TEST_F(Recovery, AbortInThePageLoopThenRescueRunBringsTheImage) {
    ASSERT_TRUE(startUnit({}));
    bool interrupted = false;
    const RunReport aborted = flash({"--yes"}, [&](FlashProcess& p, const std::string& line) {
        if (!interrupted && has(line, "\"phase\":\"pages\",\"page\":20,")) {
            interrupted = true;
            p.interrupt();  // Ctrl-C: the Abort button
        }
    });
    EXPECT_EQ(aborted.exitCode, 7);
    EXPECT_TRUE(has(aborted.outcome, "\"outcome\":\"aborted\"")) << aborted.outcome;
    const long long stored = stat("pages_stored");
    EXPECT_GE(stored, 20);
    EXPECT_LT(stored, kAlaRPages);
    EXPECT_EQ(stat("end_word"), -1);  // the exchange stays open: the unit waits in its bootloader

    const RunReport rescued = flash({"--rescue", "--yes"});
    EXPECT_TRUE(rescued.rescueBox);
    EXPECT_EQ(rescued.exitCode, 0) << rescued.outcome;
    EXPECT_EQ(stat("end_word"), 0x03FF);
    expectUnitHoldsTheImage();
}

TEST_F(Recovery, PageThatKeptFailingIsProgrammedByTheRescueRun) {
    ASSERT_TRUE(startUnit({"--reject-page", "30:30"}));
    const RunReport failed = flash({"--yes"});
    EXPECT_EQ(failed.exitCode, 7);
    EXPECT_TRUE(has(failed.outcome, "Programming failed on page 30 - giving up")) << failed.outcome;
    EXPECT_EQ(stat("pages_rejected"), 30);
    EXPECT_EQ(stat("pages_stored"), 30);

    const RunReport rescued = flash({"--rescue", "--yes"});
    EXPECT_TRUE(rescued.rescueBox);
    EXPECT_EQ(rescued.exitCode, 0) << rescued.outcome;
    expectUnitHoldsTheImage();
}

TEST_F(Recovery, RescueRunCancelledAtTheBoxLeavesTheUnitAsItWas) {
    ASSERT_TRUE(startUnit({"--reject-page", "30:30"}));
    EXPECT_EQ(flash({"--yes"}).exitCode, 7);
    // No terminal and no --yes: the rescue box is answered Cancel and no page goes out.
    const RunReport cancelled = flash({"--rescue"});
    EXPECT_FALSE(cancelled.rescueBox);
    EXPECT_TRUE(has(cancelled.output, "\"answer\":\"cancel\"")) << cancelled.output;
    EXPECT_EQ(cancelled.exitCode, 9);
    EXPECT_EQ(stat("pages_stored"), 30);
    EXPECT_EQ(stat("boot_entries"), 1);
    EXPECT_EQ(flash({"--rescue", "--yes"}).exitCode, 0);
    expectUnitHoldsTheImage();
}

TEST_F(Recovery, UnitVanishingMidPageLoopIsUpdatedOnceReplugged) {
    ASSERT_TRUE(startUnit({"--vanish-at", "page:40"}));
    const RunReport lost = flash({"--yes"});
    EXPECT_EQ(lost.exitCode, 7);
    EXPECT_TRUE(has(lost.outcome, "\"outcome\":\"line-lost\"")) << lost.outcome;
    EXPECT_TRUE(has(lost.outcome, "Lost contact with the unit")) << lost.outcome;

    // While it is gone the port cannot be opened.
    EXPECT_EQ(flash({"--yes"}).exitCode, 4);

    ASSERT_TRUE(unit->control("replug"));
    const RunReport again = flash({"--yes"});
    EXPECT_EQ(again.exitCode, 0) << again.outcome;
    expectUnitHoldsTheImage();
}

TEST_F(Recovery, UnitVanishingInTheEepromUpdateIsUpdatedOnceReplugged) {
    ASSERT_TRUE(startUnit({"--vanish-at", "ee:0x0100"}));
    const RunReport lost = flash({"--yes"});
    EXPECT_EQ(lost.exitCode, 7);
    EXPECT_TRUE(has(lost.outcome, "\"outcome\":\"line-lost\"")) << lost.outcome;
    EXPECT_EQ(stat("eeprom_writes"), 0x100);

    ASSERT_TRUE(unit->control("replug"));
    const RunReport again = flash({"--yes"});
    EXPECT_EQ(again.exitCode, 0) << again.outcome;
    expectUnitHoldsTheImage();
}

TEST_F(Recovery, UnitVanishingOnBootloaderEntryIsRescuedOnceReplugged) {
    ASSERT_TRUE(startUnit({"--vanish-at", "boot"}));
    const RunReport lost = flash({"--yes"});
    EXPECT_EQ(lost.exitCode, 7);
    EXPECT_TRUE(has(lost.outcome, "\"outcome\":\"line-lost\"")) << lost.outcome;

    ASSERT_TRUE(unit->control("replug"));
    const RunReport rescued = flash({"--rescue", "--yes"});
    EXPECT_TRUE(rescued.rescueBox);
    EXPECT_EQ(rescued.exitCode, 0) << rescued.outcome;
    expectUnitHoldsTheImage();
}

}  // namespace
}  // namespace ondo::testing
