// Reply parameters, the version query and the hexadecimal texts.

#include "link/hex.h"
#include "link/link_fixture.h"

namespace ondo::testing {
namespace {

TEST(HexTexts, Values) {
    EXPECT_EQ(HexVal(""), 0);
    EXPECT_EQ(HexVal("0A"), 10);
    EXPECT_EQ(HexVal("0a"), -1);
    EXPECT_EQ(HexVal("1F\r"), -1);
    EXPECT_EQ(HexVal("FFFF"), 0xFFFF);
    EXPECT_EQ(HexVal(" 1"), -1);
}

TEST(HexTexts, BytesAndWords) {
    EXPECT_EQ(HexByte(0), "00");
    EXPECT_EQ(HexByte(15), "0F");
    EXPECT_EQ(HexByte(255), "FF");
    EXPECT_EQ(HexWord(10), "000A");
    EXPECT_EQ(HexWord(0x1FF), "01FF");
    EXPECT_EQ(HexWord(65536), "10000");
    EXPECT_EQ(HexWord(-1), "FFFFFFFF");
}

using QueryTest = LinkTest;

TEST_F(QueryTest, ParameterIsFourCharactersAfterTheFirstBlank) {
    openQuietly();
    serial.deliver("\nE 0012 extra\r\n");
    EXPECT_EQ(link.GetParameter(), "0012");
    serial.deliver("\nE 12\r\n");
    EXPECT_EQ(link.GetParameter(), "12\r\n");
    serial.deliver("\nOK\r\n");
    EXPECT_EQ(link.GetParameter(), "\nOK\r") << "no blank: the reply's first four characters";
    EXPECT_EQ(link.GetParameter(), "") << "nothing came";
}

TEST_F(QueryTest, VersionRead) {
    openQuietly();
    replies["v"] = "v\r\nV 0023\r\n";
    EXPECT_EQ(link.GetVersion(), 0x23);
    EXPECT_EQ(link.RomVersion, "0023");
    EXPECT_EQ(face.versionLabel, "ROM 0023");
    EXPECT_EQ(serial.sent, "v\r");
}

TEST_F(QueryTest, LowerCaseVersionIsShownAndGivesMinusOne) {
    openQuietly();
    replies["v"] = "\nV 00a4\r\n";
    EXPECT_EQ(link.GetVersion(), -1);
    EXPECT_EQ(face.versionLabel, "ROM 00a4");
}

TEST_F(QueryTest, ShortVersionCarriesTheLineEnd) {
    openQuietly();
    replies["v"] = "\nV 23\r\n";
    EXPECT_EQ(link.GetVersion(), -1);
    EXPECT_EQ(face.versionLabel, "ROM 23\r\n");
}

TEST_F(QueryTest, SilentUnitShowsDashes) {
    openQuietly();
    face.versionLabel = "ROM 0023";
    EXPECT_EQ(link.GetVersion(), 0);
    EXPECT_EQ(face.versionLabel, "ROM ----");
    EXPECT_EQ(link.RomVersion, "");
}

TEST_F(QueryTest, VersionLabelClickQueriesAgain) {
    openQuietly();
    replies["v"] = "\nV 0024\r\n";
    link.lBootVersion_Click();
    EXPECT_EQ(face.versionLabel, "ROM 0024");
}

}  // namespace
}  // namespace ondo::testing
