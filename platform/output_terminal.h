// Whether standard output is a terminal, and how wide: the batch's live
// status line is drawn only there, within one row.
#pragma once

#include <cstddef>

namespace orb {

bool standardOutputIsTerminal();

// The terminal's width in characters; 80 when it cannot be told.
size_t standardOutputColumns();

}  // namespace orb
