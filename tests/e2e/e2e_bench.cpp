#include "e2e/e2e_bench.h"

#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "firmware/reader.h"

namespace ondo::testing {

namespace {
constexpr std::chrono::milliseconds kTick{100};
constexpr int kEepromBytesInFile = 2048;
constexpr int kRecordBytes = 16;

std::uint8_t flashPattern(int address) {
    return static_cast<std::uint8_t>(address * 7 + 3 + (address >> 8));
}
std::uint8_t eepromPattern(int address) {
    return static_cast<std::uint8_t>(address * 13 + 5);
}

// One record in the firmware file's text: kind, ":", count, address, type 00, data, checksum.
std::string record(char kind, int address, const std::vector<std::uint8_t>& data) {
    char field[4];
    unsigned sum = 0;
    std::string line{kind, ':'};
    auto put = [&](unsigned byte) {
        std::snprintf(field, sizeof field, "%02X", byte & 0xFFu);
        line += field;
        sum += byte;
    };
    put(static_cast<unsigned>(data.size()));
    put(static_cast<unsigned>(address >> 8));
    put(static_cast<unsigned>(address & 0xFF));
    put(0);
    for (std::uint8_t b : data) put(b);
    put((0x100 - (sum & 0xFF)) & 0xFF);
    return line + "\r\n";
}

void writeRecords(std::ofstream& out, char kind, int end, std::uint8_t (*pattern)(int)) {
    for (int address = 0; address < end; address += kRecordBytes) {
        std::vector<std::uint8_t> data;
        for (int i = address; i < std::min(end, address + kRecordBytes); ++i) {
            data.push_back(pattern(i));
        }
        out << record(kind, address, data);
    }
}

struct FirmwareFile {
    std::string path;
    FirmwareFile() {
        path = (std::filesystem::temp_directory_path() /
                ("ondo-e2e-" + std::to_string(getpid()) + ".HXF"))
                   .string();
        std::ofstream out(path, std::ios::binary);
        out << "! made for the end-to-end tests\r\n";
        writeRecords(out, 'C', kFlashImageSize, flashPattern);  // the last record: address 32768
        writeRecords(out, 'E', kEepromBytesInFile, eepromPattern);
    }
    ~FirmwareFile() {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
};

std::string resolve(int port, void* context) {
    return static_cast<Settings*>(context)->portDevice(port + 1);
}
}  // namespace

EndToEnd::App::App() {
    static int argc = 1;
    static char name[] = "test_e2e";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
}

const std::string& EndToEnd::firmwareFile() {
    static FirmwareFile file;
    return file.path;
}

EndToEnd::EndToEnd() {
    iniFile =
        (std::filesystem::temp_directory_path() / ("ondo-e2e-" + std::to_string(getpid()) + ".ini"))
            .string();
    settings = std::make_unique<Settings>(iniFile);
    library = sio::makePlatformLibrary(resolve, settings.get());
    link = std::make_unique<Link>(*library, face, waiter, [] { return std::string("COM1"); });
    seq = std::make_unique<FlashSequence>(*link, image, face);
    face.onClose = [this] {
        link->AbortRequested = true;
        ++(seq->Flashing ? closesRefused : closesGranted);
    };
    timer.setInterval(kTick);
    QObject::connect(&timer, &QTimer::timeout, [this] { link->Timer1_Timer(); });
    timer.start();

    face.file = firmwareFile();
    readFlashFile(face, image, face.file, false);
}

EndToEnd::~EndToEnd() {
    timer.stop();
    if (link) link->closePort();
    std::error_code ignored;
    std::filesystem::remove(iniFile, ignored);
}

bool EndToEnd::startUnit(const std::vector<std::string>& options) {
    EXPECT_TRUE(image.FlashFileValid) << "the firmware file did not read";
    unit = std::make_unique<SimProcess>(options);
    EXPECT_TRUE(unit->started()) << unit->error();
    if (!unit->started() || !image.FlashFileValid) return false;
    settings->overridePort(1, unit->linkPath());
    face.portListSelect("COM1");
    link->cboPort_Click();
    EXPECT_TRUE(link->PortOpen) << face.lastStatus().text;
    link->ResetTimeoutShort();
    face.statuses.clear();
    return link->PortOpen;
}

std::vector<std::uint8_t> EndToEnd::unitFlash() {
    EXPECT_TRUE(unit->control("dump"));
    return unit->flash();
}

std::vector<std::uint8_t> EndToEnd::unitEeprom() {
    EXPECT_TRUE(unit->control("dump"));
    return unit->eeprom();
}

long long EndToEnd::stat(const std::string& key) {
    EXPECT_TRUE(unit->control("dump"));
    const auto stats = unit->stats();
    const auto it = stats.find(key);
    return it == stats.end() ? -1 : it->second;
}

void EndToEnd::expectUnitHoldsTheImage(int flashBytes, int eeBytes) {
    const auto flash = unitFlash();
    ASSERT_EQ(flash.size(), static_cast<std::size_t>(flashBytes));
    for (int a = 0; a < flashBytes; ++a) {
        const int expected = a < kFlashImageSize ? flashPattern(a) : 0xFF;
        ASSERT_EQ(flash[static_cast<std::size_t>(a)], expected) << "flash address " << a;
    }
    const auto eeprom = unitEeprom();
    ASSERT_EQ(eeprom.size(), static_cast<std::size_t>(eeBytes));
    for (int a = 0; a < eeBytes; ++a) {
        ASSERT_EQ(eeprom[static_cast<std::size_t>(a)], eepromPattern(a)) << "EEPROM address " << a;
    }
}

}  // namespace ondo::testing
