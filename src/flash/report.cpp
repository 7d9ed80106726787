// SPDX-License-Identifier: GPL-3.0-or-later
// The report at the end of a run: what was sent, how long it took, and fingerprints of the
// images that were programmed, so that a workshop can later prove which image a unit got.

#include <QByteArray>
#include <QCryptographicHash>
#include <cstdio>

#include "flash/sequence.h"

namespace ondo {

namespace {

std::string sha256(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString();
}

std::string orDash(const std::string& text) {
    return text.empty() ? "-" : text;
}

}  // namespace

UpdateReport FlashSequence::updateReport() const {
    UpdateReport r = counts_;
    r.framesResent = framesSent_ - counts_.pagesSent;
    r.retries = ProgRetries;
    const auto end = running() ? std::chrono::steady_clock::now() : ended_;
    if (started_ != std::chrono::steady_clock::time_point{}) {
        r.seconds = std::chrono::duration<double>(end - started_).count();
    }
    r.payloadBytes = static_cast<long long>(r.pagesSent) * PageSize + r.eeWritten;
    if (PageCount > 0 && r.pagesSent == PageCount) {
        QByteArray code;
        for (int a = 0; a < PageCount * PageSize; ++a) code.append(static_cast<char>(flashByte(a)));
        r.codeSha256 = sha256(code);
    }
    if (r.eeWritten == EESize) {
        QByteArray ee;
        for (int a = 0; a < EESize; ++a) ee.append(static_cast<char>(eeByte(a)));
        r.eepromSha256 = sha256(ee);
    }
    return r;
}

std::string reportLine(const UpdateReport& r) {
    char time[64];
    std::snprintf(time, sizeof time, "%.1f s, %.0f B/s of image data", r.seconds,
                  r.bytesPerSecond());
    return "Update report: unit " + orDash(r.unitType) + ", firmware " + orDash(r.versionBefore) +
           " -> " + orDash(r.versionAfter) + ", " + std::to_string(r.pagesSent) + " pages sent (" +
           std::to_string(r.framesResent) + " resent), EEPROM " + std::to_string(r.eeWritten) +
           " bytes written and " + std::to_string(r.eeVerified) + " verified, " +
           std::to_string(r.retries) + " retries, " + time + ", code SHA-256 " +
           orDash(r.codeSha256) + ", EEPROM SHA-256 " + orDash(r.eepromSha256);
}

}  // namespace ondo
