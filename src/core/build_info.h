// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What --version prints: the revision the window shows, the project's version and the commit
// the build comes from, where the build knows it (library ondo_build_info).

#include <string>

#include "core/version.h"

namespace ondo {

extern const char* const kProjectVersion;  // "2.1.0"
extern const char* const kBuildCommit;     // "558f825a1b2c", "...-dirty", or empty

// "ondo-flash Rev 2.1a (version 2.1.0, commit 558f825a1b2c)"
inline std::string versionText(const std::string& program) {
    std::string text = program + " " + revisionText() + " (version " + kProjectVersion;
    if (*kBuildCommit) text += std::string(", commit ") + kBuildCommit;
    return text + ")";
}

}  // namespace ondo
