// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings.h"

#include <QString>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>

namespace ondo {

namespace {
const QString kSection = QStringLiteral("Startup/");
const QString kPorts = QStringLiteral("Ports/");

QString portKey(int comNumber) {
    return kPorts + QStringLiteral("COM%1").arg(comNumber);
}
#if defined(_WIN32)

std::unique_ptr<QSettings> nativeStore() {
    return std::make_unique<QSettings>(
        QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\FLASH"),
        QSettings::NativeFormat);
}

#else

std::unique_ptr<QSettings> nativeStore() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Ondo"), QStringLiteral("FLASH"));
}

#endif

}  // namespace

Settings::Settings() : store_(nativeStore()) {}

Settings::Settings(const std::string& iniFile)
    : store_(std::make_unique<QSettings>(QString::fromStdString(iniFile), QSettings::IniFormat)) {}

std::string Settings::keySetting(const std::string& key) const {
    return store_->value(kSection + QString::fromStdString(key))
        .toString()
        .toLatin1()
        .toStdString();
}

void Settings::saveKeySetting(const std::string& key, const std::string& setting) {
    store_->setValue(kSection + QString::fromStdString(key),
                     QString::fromLatin1(setting.data(), static_cast<qsizetype>(setting.size())));
}

std::string Settings::fileSetting(const std::string& key) const {
    const QString name = store_->value(kSection + QString::fromStdString(key)).toString();
    // Before names were stored as text, a UTF-8 name was kept byte for byte as Latin-1
    // characters; such a value is those bytes again.
    const QByteArray bytes = name.toLatin1();
    if (QString::fromLatin1(bytes) == name) {
        const QString decoded = QString::fromUtf8(bytes);
        if (decoded.toUtf8() == bytes && decoded != name) return bytes.toStdString();
    }
    return name.toUtf8().toStdString();
}

void Settings::saveFileSetting(const std::string& key, const std::string& name) {
    store_->setValue(kSection + QString::fromStdString(key), QString::fromUtf8(name));
}

#if defined(_WIN32)

std::string Settings::defaultPortDevice(int comNumber) {
    if (comNumber < 1 || comNumber > 9) return {};
    return "\\\\.\\COM" + std::to_string(comNumber);
}

#else

std::string Settings::defaultPortDevice(int comNumber) {
    // Built-in ports first, as Windows numbers them; then USB adapters, which is what most
    // benches use today.
    switch (comNumber) {
        case 1:
            return "/dev/ttyS0";
        case 2:
            return "/dev/ttyS1";
        case 3:
            return "/dev/ttyUSB0";
        case 4:
            return "/dev/ttyUSB1";
        case 5:
            return "/dev/ttyACM0";
        case 6:
            return "/dev/ttyACM1";
        case 7:
            return "/dev/ttyUSB2";
        case 8:
            return "/dev/ttyUSB3";
        case 9:
            return "/dev/ttyACM2";
        default:
            return {};
    }
}

#endif

std::string Settings::portDevice(int comNumber) const {
    if (comNumber < 1 || comNumber > 9) return {};
    if (auto it = overrides_.find(comNumber); it != overrides_.end()) return it->second;
    const QString stored = store_->value(portKey(comNumber)).toString();
    if (!stored.isEmpty()) return stored.toStdString();
    return defaultPortDevice(comNumber);
}

void Settings::overridePort(int comNumber, const std::string& device) {
    overrides_[comNumber] = device;
}

void Settings::savePortDevice(int comNumber, const std::string& device) {
    store_->setValue(portKey(comNumber), QString::fromStdString(device));
}

void Settings::sync() {
    store_->sync();
}

std::string formatNumber(int value) {
    return value >= 0 ? " " + std::to_string(value) : std::to_string(value);
}

int readNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    // Take the longest prefix that reads as a decimal number: sign, digits, point, digits.
    std::string number;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) number += text[i++];
    bool digits = false;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        number += text[i++];
        digits = true;
    }
    if (i < text.size() && text[i] == '.') {
        number += text[i++];
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            number += text[i++];
            digits = true;
        }
    }
    if (!digits) return 0;
    const double value = std::strtod(number.c_str(), nullptr);
    if (!(value < 2147483647.0 && value > -2147483648.0))
        return value > 0 ? 2147483647 : -2147483647 - 1;
    return static_cast<int>(std::nearbyint(value));  // the default rounding mode: half to even
}

}  // namespace ondo
