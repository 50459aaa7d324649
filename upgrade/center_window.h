#pragma once

#include "platform/windowing.h"

namespace orb {

// Moves the window to the centre of the primary screen and to the top of the Z
// order; leaves it where it is when its rectangle cannot be read.
void centerWindow(WindowHandle window);

}  // namespace orb
