// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The utility's own version: major 2, minor 1, revision 0, shown as "Rev 2.1a".

#include <string>

namespace ondo {

inline constexpr int kVersionMajor = 2;
inline constexpr int kVersionMinor = 1;
inline constexpr int kVersionRevision = 0;

// "Rev " + major + "." + minor + the letter "a" + revision.
inline std::string revisionText() {
    return "Rev " + std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) +
           static_cast<char>('a' + kVersionRevision);
}

// "Ondo FLASH utility - Rev 2.1a"
inline std::string windowTitle() {
    return std::string("Ondo ") + "FLASH" + " utility - Rev " + std::to_string(kVersionMajor) +
           "." + std::to_string(kVersionMinor) + static_cast<char>('a' + kVersionRevision);
}

}  // namespace ondo
