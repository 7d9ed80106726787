// Each monitor command and bootloader step as the unit's bytes, and how its replies are read.

#include <gtest/gtest.h>

#include "protocol/bootloader.h"
#include "protocol/monitor.h"

namespace ondo::testing {
namespace {

const auto text = [](const auto& bytes) { return std::string(bytes.begin(), bytes.end()); };
std::string readAnswer(const char* parameter) {  // the byte, or "refused"
    const auto byte = monitor::byteOfReadAnswer(parameter);
    return byte ? std::to_string(*byte) : "refused";
}
std::string said(const std::string& bytes) {  // P prompt, else the page answer: T, R, O(ther)
    std::string said;
    for (unsigned char b : bytes)
        said += bootloader::isPrompt(b) ? 'P' : "TRO"[static_cast<int>(bootloader::pageAnswer(b))];
    return said;
}

struct Wire {
    const char* name;
    std::string produced, expected;
};
// The page's sum is 0x201, so its checksum is 0x01; page 0x105 goes out as its low byte 0x05.
const std::vector<std::uint8_t> kPage{0x80, 0x90, 0xF1, 0x00};

class Protocol : public ::testing::TestWithParam<Wire> {};
TEST_P(Protocol, GivesTheUnitsBytesAndTexts) {
    EXPECT_EQ(GetParam().produced, GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(
    Engine, Protocol,
    ::testing::Values(Wire{"StopReadings", monitor::stopReadings(), "tf"},
                      Wire{"StartReadings", monitor::startReadings(), "t1"},
                      Wire{"Mode0", monitor::mode0(), "m0"}, Wire{"Mode1", monitor::mode1(), "m1"},
                      Wire{"Version", monitor::version(), "v"},
                      Wire{"EnterBootloader", monitor::enterBootloader("0024"), "b0024"},
                      Wire{"WriteAddressThenByte", monitor::writeByte(0x12, 0x05), "e001205"},
                      Wire{"ReadAddress", monitor::readByte(0x3FF), "a03FF"},
                      Wire{"ReadAnswerOfAByte", monitor::readAnswer(0x05), "0005"},
                      Wire{"ParameterAfterBlank", monitor::parameter("\nV 0024\r\n"), "0024"},
                      Wire{"ParameterFourAtMost", monitor::parameter("\nE 00123\r\n"), "0012"},
                      Wire{"ParameterWithoutBlank", monitor::parameter("ABCDEF"), "ABCD"},
                      Wire{"ParameterNothingAfterBlank", monitor::parameter("\nT "), ""},
                      Wire{"ReadAnswerTaken", readAnswer("00FF"), "255"},
                      Wire{"ReadAnswerAboveAByte", readAnswer("0100"), "refused"},
                      Wire{"ReadAnswerLowerCase", readAnswer("00ff"), "refused"},
                      Wire{"ReadAnswerTwoDigits", readAnswer("05"), "refused"},
                      Wire{"OpenExchange", std::string(1, bootloader::openExchange()), "<"},
                      Wire{"PageFrame", text(bootloader::pageFrame(0x105, kPage)),
                           std::string("\0\5\x80\x90\xF1\0\1", 7)},
                      Wire{"BootloaderBytes", said(">!@?\xFF<"), "PTROOO"},
                      Wire{"EndWordHighByteFirst", text(bootloader::endWord(0x03FE)), "\3\xFE"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ondo::testing
