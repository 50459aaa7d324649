// Enter, Escape and Tab in the view's dialog windows, as the Windows dialog
// manager takes them: an application-wide event filter. GUI thread.
#pragma once

#include <QObject>

namespace orb::dialogs::qt {

// Enter, Escape and Tab in a dialog window, before the focused widget sees
// them, as the Windows dialog manager takes them.
class DialogKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace orb::dialogs::qt
