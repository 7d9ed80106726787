// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Status line, progress log and data pane: the three message kinds and the two trim rules.

#include <string>

#include "core/face.h"

namespace ondo {

inline void msg(Face& face, const std::string& text) {
    face.status(Colour::Plain, text);
}
inline void msgStatus(Face& face, const std::string& text) {
    face.status(Colour::Status, text);
}
inline void msgError(Face& face, const std::string& text) {
    face.status(Colour::Error, text);
}

// What the port list and the version label say when a click would reach a unit that a running
// update owns.
inline constexpr const char* kBusyText = "Not while an update is in progress";

// The length of the well-formed UTF-8 sequence of two to four bytes at text[i], or 0. The unit
// speaks one byte a character (Latin-1), but file names come in the file system's encoding
// (UTF-8): where a text carries both, such a sequence is one character of a name.
std::size_t utf8SequenceAt(const std::string& text, std::size_t i);

// The log trims before it appends: over 4096 characters it keeps its part from position 3072.
std::string scrollTextAppend(std::string log, const std::string& text);
// The pane trims after it appends: over 1024 characters it keeps its part from position 512.
std::string dataHistoryAppend(std::string pane, const std::string& text);

}  // namespace ondo
