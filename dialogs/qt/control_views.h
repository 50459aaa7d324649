// One control of a dialog window as a Qt widget, one class per kind of
// control: made from the template's control, brought up to date from the
// model's state. The widgets never call a dialog procedure: what the user
// does goes through orb::dialogs::input. GUI thread.
#pragma once

#include <Qt>

#include <memory>
#include <string>

#include "dialogs/dialog_view.h"

class QWidget;

namespace orb::dialogs::qt {

class ControlView {
public:
    virtual ~ControlView() = default;

    int id() const { return id_; }
    QWidget* widget() const { return widget_; }

    // Model to widget: the enabled state, then what the kind shows.
    void apply(const ControlState& state);
    // Focus into the control (a click, Tab, the model's focus).
    virtual void focusIn(Qt::FocusReason reason);
    // Where the template puts it; a kind may size itself otherwise.
    virtual void place(const ControlState& state);

protected:
    ControlView(const ControlState& state, QWidget* widget);

    // What the kind shows of `state`; `textChanged` when its text differs
    // from the one shown last (always the first time).
    virtual void show(const ControlState& state, bool textChanged) = 0;

private:
    int id_;
    QWidget* widget_;
    bool shownOnce_ = false;
    std::string shownText_;
};

// The view of a control of `window`, its widget a child of `parent`.
std::unique_ptr<ControlView> makeControlView(const ControlState& state, WindowHandle window, QWidget* parent);

}  // namespace orb::dialogs::qt
