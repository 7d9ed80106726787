#pragma once
// Status line, progress log and data pane: the three message kinds and the two trim rules.

#include <string>

#include "core/face.h"

namespace ondo {

inline void msg(Face& face, const std::string& text) { face.status(Colour::Plain, text); }
inline void msgStatus(Face& face, const std::string& text) { face.status(Colour::Status, text); }
inline void msgError(Face& face, const std::string& text) { face.status(Colour::Error, text); }

// The log trims before it appends: over 4096 characters it keeps its part from position 3072.
std::string scrollTextAppend(std::string log, const std::string& text);
// The pane trims after it appends: over 1024 characters it keeps its part from position 512.
std::string dataHistoryAppend(std::string pane, const std::string& text);

}  // namespace ondo
