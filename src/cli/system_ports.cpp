// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/system_ports.h"

#include <algorithm>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace ondo {

#if defined(_WIN32)

// The system's map of serial devices to their COM names: HKLM\HARDWARE\DEVICEMAP\SERIALCOMM.
std::vector<std::string> systemPortsAboveNine() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                        &key) != ERROR_SUCCESS)
        return {};
    std::vector<int> numbers;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        wchar_t data[64] = {};
        DWORD nameLength = 256, dataBytes = sizeof data - sizeof(wchar_t), type = 0;
        const LONG result = ::RegEnumValueW(key, i, name, &nameLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &dataBytes);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        const std::wstring port(data);
        if (port.size() < 5 || port.compare(0, 3, L"COM") != 0) continue;
        if (!std::all_of(port.begin() + 3, port.end(),
                         [](wchar_t c) { return c >= L'0' && c <= L'9'; }))
            continue;
        const int number = std::stoi(port.substr(3));
        if (number > 9) numbers.push_back(number);
    }
    ::RegCloseKey(key);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    std::vector<std::string> names;
    for (const int n : numbers) names.push_back("COM" + std::to_string(n));
    return names;
}

#else

std::vector<std::string> systemPortsAboveNine() {
    return {};
}

#endif

}  // namespace ondo
