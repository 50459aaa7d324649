// One dialog window of the model as a Qt top-level widget: its controls'
// widgets, brought up to date from the model's state (apply), and the focus
// moves that the dialog keys (dialogs/qt/dialog_keys.h) ask of it. GUI thread.
#pragma once

#include <QWidget>

#include <cstdint>
#include <memory>
#include <vector>

#include "dialogs/dialog_view.h"
#include "dialogs/qt/control_views.h"

class QCloseEvent;
class QLabel;

namespace orb::dialogs::qt {

class DialogWindow : public QWidget {
public:
    explicit DialogWindow(const WindowState& state);

    WindowHandle handle() const { return handle_; }
    bool applying() const { return applying_; }
    uint64_t serial() const { return property("orbWindowSerial").toULongLong(); }
    int controlCount() const { return static_cast<int>(controls_.size()); }
    int controlIdAt(int index) const { return controls_[static_cast<size_t>(index)]->id(); }
    QWidget* controlWidgetAt(int index) const { return controls_[static_cast<size_t>(index)]->widget(); }

    // Model to widgets.
    void apply(const WindowState& state);

    // The control that `widget` is or lies in; -1 when none.
    int controlIndexOf(QWidget* widget) const;

    void focusControlAt(int index, Qt::FocusReason reason);

    // Tab and Shift+Tab: where the model says Tab goes, in template order.
    void tab(bool backwards);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The hint (setWindowHint) as a label below the template's area, which
    // keeps its size and its controls' places. Returns the height it adds.
    int applyHint(const WindowState& state);

    WindowHandle handle_;
    std::vector<std::unique_ptr<ControlView>> controls_;
    WindowState shown_;  // the model as last applied: where Tab goes is read from it
    QLabel* hint_ = nullptr;
    int hintHeight_ = 0;  // the hint's height at its width, laid out once per text
    bool applying_ = false;
    bool placed_ = false;
    int placedX_ = 0;
    int placedY_ = 0;
    int lastModelFocus_ = -2;
    uint64_t lastZOrder_ = 0;
};

// The dialog window that `widget` lies in, or nullptr.
DialogWindow* dialogWindowOf(QWidget* widget);

}  // namespace orb::dialogs::qt
