// SPDX-License-Identifier: GPL-3.0-or-later
// The EEPROM update through the running firmware: every address written with "e" and
// confirmed by its address, then read back with "a" and compared with the image.

#include "core/messages.h"
#include "flash/sequence.h"
#include "protocol/monitor.h"

namespace ondo {

namespace {
constexpr int kLogLineLength = 8;  // addresses that are multiples of 8 end a log line
const char* const kLineEnd = "\r\n";
}  // namespace

std::uint8_t FlashSequence::eeByte(int address) const {
    if (address < 0 || address >= kEEImageSize) return 0;
    return image_.EEimage[static_cast<std::size_t>(address)];
}

bool FlashSequence::ProgEE(int address) {
    EEaddr = monitor::addressText(address);
    EEdata = monitor::byteText(eeByte(address));
    for (int attempt = 0; attempt < kEEAttempts; ++attempt) {
        const std::string command = monitor::writeByte(address, eeByte(address));
        face_.setDataLabel(command);
        link_.TxCommand(command);
        EEresponse = link_.GetParameter();
        if (EEresponse == EEaddr) return true;
        if (link_.LineLost) return false;
        msgError(face_, "re-programmed address " + EEaddr + ".");
        ++ProgRetries;
    }
    return false;
}

bool FlashSequence::verifyEE(int address) {
    EEdata = monitor::readAnswer(eeByte(address));
    return readBack(
        address, [this](const std::string& reply) { return reply == EEdata; },
        "re-verified address ");
}

bool FlashSequence::ReadEE(int address) {
    EEdata.clear();
    const bool read = readBack(
        address,
        [](const std::string& reply) { return monitor::byteOfReadAnswer(reply).has_value(); },
        "re-read address ");
    if (read) EEdata = EEresponse;
    return read;
}

// The read command, up to kEEAttempts times, until `good` takes the unit's reply.
bool FlashSequence::readBack(int address, const std::function<bool(const std::string&)>& good,
                             const std::string& retryText) {
    EEaddr = monitor::addressText(address);
    for (int attempt = 0; attempt < kEEAttempts; ++attempt) {
        const std::string command = monitor::readByte(address);
        face_.setDataLabel(command);
        link_.TxCommand(command);
        EEresponse = link_.GetParameter();
        if (good(EEresponse)) return true;
        if (link_.LineLost) return false;
        msgError(face_, retryText + EEaddr + ".");
        ++ProgRetries;
    }
    return false;
}

bool FlashSequence::ProgramEE() {
    face_.logReplace("Programming " + std::to_string(EESize) + " bytes of EE Prom." + kLineEnd);
    msg(face_, "Programming ...");
    if (!eeWritePass()) return false;
    face_.scrollText(std::string(kLineEnd) + "EEPROM verifying" + kLineEnd);
    msg(face_, "Verifying ...");
    return eeVerifyPass();
}

bool FlashSequence::eeWritePass() {
    for (int address = 0; address < EESize; ++address) {
        report(Phase::EepromWrite, address, EESize);
        if (ProgEE(address)) {
            ++counts_.eeWritten;
            face_.scrollText(EEresponse + (address % kLogLineLength == 0 ? kLineEnd : "-"));
            continue;
        }
        if (link_.LineLost) return false;
        if (!askToSkip({"addr = " + EEaddr + ", response = " + EEresponse, "EEPROM Program Error",
                        Buttons::OkCancel, Icon::Critical})) {
            return false;
        }
    }
    report(Phase::EepromWrite, EESize, EESize);
    return true;
}

bool FlashSequence::eeVerifyPass() {
    for (int address = 0; address < EESize; ++address) {
        report(Phase::EepromVerify, address, EESize);
        if (verifyEE(address)) {
            ++counts_.eeVerified;
            face_.scrollText(EEresponse + (address % kLogLineLength == 0 ? kLineEnd : "+"));
            continue;
        }
        if (link_.LineLost) return false;
        if (!askToSkip({"addr = " + EEaddr + ", wrote = " + EEdata + ", read = " + EEresponse,
                        "EEPROM Verify Error", Buttons::OkCancel, Icon::Exclamation})) {
            return false;
        }
    }
    report(Phase::EepromVerify, EESize, EESize);
    return true;
}

// OK skips the failed address (the update is then incomplete); Cancel stops the update.
bool FlashSequence::askToSkip(const MessageBox& box) {
    if (face_.ask(box) == Answer::Cancel) return false;
    eepromSkipped_ = true;
    return true;
}

}  // namespace ondo
