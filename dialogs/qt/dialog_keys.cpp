#include "dialogs/qt/dialog_keys.h"

#include <QKeyEvent>

#include "dialogs/dialog_input.h"
#include "dialogs/qt/dialog_window.h"

namespace orb::dialogs::qt {

bool DialogKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    DialogWindow* window = dialogWindowOf(static_cast<QWidget*>(watched));
    if (window == nullptr) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (modifiers != Qt::NoModifier) return false;
            input::pressEnter(window->handle());
            return true;
        case Qt::Key_Escape:
            if (modifiers != Qt::NoModifier) return false;
            input::pressEscape(window->handle());
            return true;
        case Qt::Key_Tab:
            if (modifiers != Qt::NoModifier) return false;
            window->tab(false);
            return true;
        case Qt::Key_Backtab: window->tab(true); return true;
        default: return false;
    }
}

}  // namespace orb::dialogs::qt
