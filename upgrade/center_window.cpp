#include "upgrade/center_window.h"

namespace orb {

void centerWindow(WindowHandle window) {
    WindowRect rect;
    if (!readWindowRect(window, &rect)) return;
    // The halving is an arithmetic shift: it rounds toward minus infinity, so a
    // window larger than the screen gets a negative coordinate.
    int x = (readScreenWidth() + rect.left - rect.right) >> 1;
    int y = (readScreenHeight() + rect.top - rect.bottom) >> 1;
    moveWindowToTop(window, x, y);
}

}  // namespace orb
