// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The per-user settings store: text values under application "FLASH", section "Startup", and
// the port map (which device each of COM1 to COM9 stands for) in section "Ports".

#include <QSettings>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace ondo {

class Settings {
  public:
    // The platform's per-user store: on Linux ~/.config/Ondo/FLASH.conf (which follows
    // XDG_CONFIG_HOME); on Windows the registry key where the earlier utility kept the same
    // values, HKEY_CURRENT_USER\Software\VB and VBA Program Settings\FLASH, each a string.
    Settings();
    // A store in the given file (INI format); tests point the store at a temporary place.
    explicit Settings(const std::string& iniFile);

    // keySetting: the stored text, empty when none.
    std::string keySetting(const std::string& key) const;
    // saveKeySetting: stores the text, replacing any earlier value.
    void saveKeySetting(const std::string& key, const std::string& setting);
    // A file name: stored as the text it names (a name is UTF-8 bytes to the engine), so that
    // the store, and on Windows the earlier utility, read the same name.
    std::string fileSetting(const std::string& key) const;
    void saveFileSetting(const std::string& key, const std::string& name);

    // The device COMn stands for (n from 1 to 9): an override for this run, else the stored
    // map, else the default (on Windows the port itself, \\.\COMn: the system names its ports).
    std::string portDevice(int comNumber) const;
    // Points COMn at a device for this run only; the stored map is not changed.
    void overridePort(int comNumber, const std::string& device);
    // Stores a device for COMn in the map.
    void savePortDevice(int comNumber, const std::string& device);
    static std::string defaultPortDevice(int comNumber);

    void sync();

  private:
    std::unique_ptr<QSettings> store_;
    std::map<int, std::string> overrides_;
};

// Window measures as the store keeps them: one leading blank for 0 or more, "-" otherwise.
std::string formatNumber(int value);
// Lenient reading: leading blanks skipped, the number ends at the first character that cannot
// continue it, no number reads as 0, halves round to the even neighbour.
int readNumber(std::string_view text);

}  // namespace ondo
