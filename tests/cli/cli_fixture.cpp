#include "cli/cli_fixture.h"

#include <fstream>
#include <sstream>

#include "firmware/reader.h"
#include "support/recording_face.h"

namespace ondo::testing {

namespace {

constexpr std::uint8_t kErased = 0xFF;

std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

FirmwareImage readSample() {
    FirmwareImage image;
    RecordingFace face;
    readFlashFile(face, image, samplePath(), false);
    return image;
}

}  // namespace

std::string samplePath() {
    return std::string(ONDO_SAMPLES_DIR) + "/demo-AlaR.HXF";
}

const FirmwareImage& sampleImage() {
    static const FirmwareImage image = readSample();
    return image;
}

int occurrences(const std::string& text, const std::string& needle) {
    int count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + needle.size())) {
        ++count;
    }
    return count;
}

CliRun DemoRun::demoRun(std::vector<std::string> options, const std::string& simOptions) const {
    CliRun run;
    run.args = {"flash", "--demo"};
    run.args.insert(run.args.end(), options.begin(), options.end());
    run.args.push_back("--sim-args");
    // Quoted as a path with blanks would need to be. The unit starts erased, without the demo's
    // owner data, unless simOptions say otherwise.
    run.args.push_back("--ee-init /dev/null --dump \"" + folder.file("unit") + "\" --stats \"" +
                       folder.file("stats") + "\" " + simOptions);
    return run;
}

CliResult DemoRun::flash(std::vector<std::string> options, const std::string& simOptions) {
    EXPECT_TRUE(sampleImage().FlashFileValid) << samplePath();
    CliResult result = demoRun(std::move(options), simOptions).run();
    EXPECT_FALSE(result.hung) << "ondo-flash did not end; standard error:\n" << result.err;
    return result;
}

std::vector<std::uint8_t> DemoRun::unitFlash() const {
    return bytesOf(readFile(folder.file("unit.flash")));
}

std::vector<std::uint8_t> DemoRun::unitEeprom() const {
    return bytesOf(readFile(folder.file("unit.eeprom")));
}

long long DemoRun::stat(const std::string& key) const {
    std::istringstream lines(readFile(folder.file("stats")));
    std::string name;
    long long value = 0;
    while (lines >> name >> value) {
        if (name == key) return value;
    }
    ADD_FAILURE() << "the simulated unit left no counter " << key;
    return -1;
}

void DemoRun::expectFlashIsSample(std::size_t from, std::size_t to) const {
    const auto flash = unitFlash();
    ASSERT_EQ(flash.size(), kAlaRFlashBytes) << "the unit's flash dump";
    for (std::size_t a = from; a < to; ++a) {
        ASSERT_EQ(flash[a], sampleImage().FlashImage[a]) << "flash address " << a;
    }
}

void DemoRun::expectFlashErased(std::size_t from, std::size_t to) const {
    const auto flash = unitFlash();
    ASSERT_EQ(flash.size(), kAlaRFlashBytes) << "the unit's flash dump";
    for (std::size_t a = from; a < to; ++a) ASSERT_EQ(flash[a], kErased) << "flash address " << a;
}

void DemoRun::expectEepromIsSample(std::size_t from, std::size_t to) const {
    const auto eeprom = unitEeprom();
    ASSERT_EQ(eeprom.size(), kAlaREepromBytes) << "the unit's EEPROM dump";
    for (std::size_t a = from; a < to; ++a) {
        ASSERT_EQ(eeprom[a], sampleImage().EEimage[a]) << "EEPROM address " << a;
    }
}

void DemoRun::expectEepromErased(std::size_t from, std::size_t to) const {
    const auto eeprom = unitEeprom();
    ASSERT_EQ(eeprom.size(), kAlaREepromBytes) << "the unit's EEPROM dump";
    for (std::size_t a = from; a < to; ++a) ASSERT_EQ(eeprom[a], kErased) << "EEPROM address " << a;
}

}  // namespace ondo::testing
