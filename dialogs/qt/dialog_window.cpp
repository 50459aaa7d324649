#include "dialogs/qt/dialog_window.h"

#include <QCloseEvent>
#include <QLabel>

#include <algorithm>
#include <atomic>

#include "dialogs/qt/qt_look.h"
#include "dialogs/qt/qt_placement.h"
#include "dialogs/qt/qt_text.h"
#include "dialogs/qt/qt_view.h"
#include "dialogs/qt/qt_view_testing.h"

namespace orb::dialogs::qt {

namespace {

std::atomic<uint64_t> nextWindowSerial{1};

}  // namespace

DialogWindow::DialogWindow(const WindowState& state) : handle_(state.handle) {
    requireGuiThread("a dialog window");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setProperty(kTemplateIdProperty, state.templateId);
    setProperty("orbWindowSerial", static_cast<qulonglong>(nextWindowSerial++));
    setFixedSize(state.width, state.height);
    for (const ControlState& control : state.controls) controls_.push_back(makeControlView(control, handle_, this));
}

// Model to widgets.
void DialogWindow::apply(const WindowState& state) {
    applying_ = true;
    shown_ = state;
    QString title = fromModelText(state.title);
    if (windowTitle() != title) setWindowTitle(title);
    const int height = state.height + applyHint(state);
    if (size() != QSize(state.width, height)) setFixedSize(state.width, height);
    // The model places the client area; Qt's setGeometry does the same.
    if (!placed_ || state.x != placedX_ || state.y != placedY_) {
        setGeometry(state.x, state.y, state.width, height);
        placed_ = true;
        placedX_ = state.x;
        placedY_ = state.y;
    }
    if (isEnabled() != state.enabled) setEnabled(state.enabled);
    int focus = -1;
    for (size_t i = 0; i < controls_.size() && i < state.controls.size(); ++i) {
        controls_[i]->apply(state.controls[i]);
        if (state.controls[i].focused) focus = static_cast<int>(i);
    }
    if (focus != lastModelFocus_) {
        lastModelFocus_ = focus;
        if (focus >= 0) focusControlAt(focus, Qt::OtherFocusReason);
    }
    if (state.zOrder > lastZOrder_) {
        lastZOrder_ = state.zOrder;
        if (isVisible()) raiseWindow(this);
    }
    applying_ = false;
}

// The control that `widget` is or lies in; -1 when none.
int DialogWindow::controlIndexOf(QWidget* widget) const {
    while (widget != nullptr && widget->parentWidget() != this) widget = widget->parentWidget();
    if (widget == nullptr) return -1;
    for (size_t i = 0; i < controls_.size(); ++i)
        if (controls_[i]->widget() == widget) return static_cast<int>(i);
    return -1;
}

void DialogWindow::focusControlAt(int index, Qt::FocusReason reason) {
    controls_[static_cast<size_t>(index)]->focusIn(reason);
}

// Tab and Shift+Tab: where the model says Tab goes, in template order.
void DialogWindow::tab(bool backwards) {
    int current = controlIndexOf(focusWidget());
    int next = nextFocus(shown_, current >= 0 ? controlIdAt(current) : 0, backwards);
    for (int i = 0; next != 0 && i < controlCount(); ++i) {
        if (controlIdAt(i) != next) continue;
        focusControlAt(i, backwards ? Qt::BacktabFocusReason : Qt::TabFocusReason);
        return;
    }
}

void DialogWindow::closeEvent(QCloseEvent* event) {
    // The close box: WM_CLOSE to the owning thread, which makes it IDCANCEL.
    event->ignore();
    if (!qtViewShuttingDown()) input::pressCloseBox(handle_);
}

// The hint (setWindowHint) as a label below the template's area, which
// keeps its size and its controls' places. Returns the height it adds.
int DialogWindow::applyHint(const WindowState& state) {
    if (state.hint.empty()) {
        if (hint_ != nullptr) hint_->hide();
        return 0;
    }
    if (hint_ == nullptr) {
        hint_ = new QLabel(this);
        hint_->setObjectName(QString::fromLatin1(kHintObjectName));
        hint_->setTextFormat(Qt::PlainText);
        hint_->setWordWrap(true);
        hint_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        hint_->setFocusPolicy(Qt::NoFocus);
    }
    QString text = fromModelText(state.hint);
    const int marginX = dialogUnitsToPixelsX(7);
    const int marginY = dialogUnitsToPixelsY(7);
    const int width = std::max(state.width - 2 * marginX, 40);
    // Laid out again only when it changed: every pass of a progress
    // window comes here, and a layout costs more than the pass.
    QRect place(marginX, state.height, width, hintHeight_);
    if (hint_->text() != text || hint_->geometry().topLeft() != place.topLeft() || hint_->width() != width) {
        if (hint_->text() != text) hint_->setText(text);
        hintHeight_ = hint_->heightForWidth(width);
        hint_->setGeometry(marginX, state.height, width, hintHeight_);
    }
    if (hint_->isHidden()) hint_->show();
    return hintHeight_ + marginY;
}

DialogWindow* dialogWindowOf(QWidget* widget) {
    return widget != nullptr ? dynamic_cast<DialogWindow*>(widget->window()) : nullptr;
}

}  // namespace orb::dialogs::qt
