// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files the simulator leaves for whoever drives it: where its device is, the memory dumps, the
// counters, and acknowledgements of control commands. Whole files are replaced atomically (write
// a temporary, then rename), so a reader never sees half of one.

#include <cstdint>
#include <string>
#include <vector>

#include "context.h"

namespace sim {

bool writeFileAtomically(const std::string& path, const std::string& bytes);
bool writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);
// Appends one line (a LF is added) with a single write.
bool appendLine(const std::string& path, const std::string& line);
// Points the symbolic link at target, replacing what was there in one step.
bool replaceSymlink(const std::string& link, const std::string& target);

struct Traffic {
    std::uint64_t fromHost = 0;
    std::uint64_t toHost = 0;
};

// One "key value" a line.
std::string statsText(const Counters& counters, const Traffic& traffic);

}  // namespace sim
