// Whether standard output or standard error is a terminal, and how wide: the
// batch's live status line is drawn only there, within one row.
#pragma once

#include <cstddef>

namespace orb {

enum class StandardStream { Output, Error };

bool standardStreamIsTerminal(StandardStream stream);

// The terminal's width in characters; 80 when it cannot be told.
size_t terminalColumns(StandardStream stream);

}  // namespace orb
