// The model's open message boxes as QMessageBox windows: made when a box
// opens, closed when it is answered. A button, Enter, Escape or the close box
// answers the box through input::answerMessageBox. GUI thread.
#pragma once

#include <functional>
#include <map>

#include "dialogs/dialog_view.h"

class QMessageBox;
class QWidget;

namespace orb::dialogs::qt {

class MessageBoxViews {
public:
    // The dialog window of a box's owner (nullptr when it has none shown).
    using OwnerOf = std::function<QWidget*(WindowHandle owner)>;

    // Brings the boxes shown up to the open ones.
    void sync(const OwnerOf& ownerOf);

private:
    std::map<MessageBoxId, QMessageBox*> boxes_;
};

}  // namespace orb::dialogs::qt
