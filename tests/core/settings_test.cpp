// The settings store: its number format and the port map.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "core/settings.h"

namespace ondo {
namespace {

TEST(NumberFormat, WrittenWithABlankForZeroOrMore) {
    EXPECT_EQ(formatNumber(1234), " 1234");
    EXPECT_EQ(formatNumber(0), " 0");
    EXPECT_EQ(formatNumber(-15), "-15");
}

TEST(NumberFormat, ReadLeniently) {
    EXPECT_EQ(readNumber("  12abc"), 12);
    EXPECT_EQ(readNumber("2.5"), 2);
    EXPECT_EQ(readNumber("3.5"), 4);
    EXPECT_EQ(readNumber("x"), 0);
    EXPECT_EQ(readNumber(""), 0);
    EXPECT_EQ(readNumber(" 1"), 1);
    EXPECT_EQ(readNumber("-15"), -15);
    EXPECT_EQ(readNumber("-2.5"), -2);
    EXPECT_EQ(readNumber("3"), 3);
    EXPECT_EQ(readNumber("99999999999"), 2147483647);
}

TEST(SettingsStore, KeysUnderStartupAndMissingKeysEmpty) {
    QTemporaryDir dir;
    const std::string file = dir.filePath("FLASH.ini").toStdString();
    {
        Settings settings(file);
        EXPECT_EQ(settings.keySetting("port"), "");
        settings.saveKeySetting("formwidth", formatNumber(5820));
        settings.saveKeySetting("lastcmd", "");
        settings.sync();
    }
    Settings again(file);
    EXPECT_EQ(again.keySetting("formwidth"), " 5820");
    EXPECT_EQ(again.keySetting("lastcmd"), "");
}

TEST(SettingsStore, PortMapDefaultsStoredValuesAndOverrides) {
    QTemporaryDir dir;
    Settings settings(dir.filePath("FLASH.ini").toStdString());
    EXPECT_EQ(settings.portDevice(3), "/dev/ttyUSB0");
    EXPECT_EQ(settings.portDevice(5), "/dev/ttyACM0");
    EXPECT_EQ(settings.portDevice(10), "");
    settings.savePortDevice(3, "/dev/ttyUSB7");
    EXPECT_EQ(settings.portDevice(3), "/dev/ttyUSB7");
    settings.overridePort(3, "/tmp/sim-pty");
    EXPECT_EQ(settings.portDevice(3), "/tmp/sim-pty");
    settings.sync();
    Settings reread(dir.filePath("FLASH.ini").toStdString());
    EXPECT_EQ(reread.portDevice(3), "/dev/ttyUSB7") << "an override is never stored";
}

}  // namespace
}  // namespace ondo
