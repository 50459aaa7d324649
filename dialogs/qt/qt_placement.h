// Where the view's top-level windows stand: stacking and centring.
#pragma once

#include <QRect>
#include <QWidget>

namespace orb::dialogs::qt {

// Brings a window to the top; the offscreen platform has no stacking (and
// says so on every call).
void raiseWindow(QWidget* window);

// Centres a window's client area on `area` (client coordinates, as the model's).
void centreOn(QWidget* widget, const QRect& area);

}  // namespace orb::dialogs::qt
