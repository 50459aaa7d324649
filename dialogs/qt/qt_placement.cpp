#include "dialogs/qt/qt_placement.h"

#include <QGuiApplication>

namespace orb::dialogs::qt {

void raiseWindow(QWidget* window) {
    static const bool stacking = QGuiApplication::platformName() != QStringLiteral("offscreen");
    if (stacking) window->raise();
}

void centreOn(QWidget* widget, const QRect& area) {
    QSize size = widget->size();
    widget->setGeometry(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2,
                        size.width(), size.height());
}

}  // namespace orb::dialogs::qt
