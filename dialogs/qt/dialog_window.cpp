#include "dialogs/qt/dialog_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>
#include <atomic>

#include "dialogs/qt/qt_controls.h"
#include "dialogs/qt/qt_look.h"
#include "dialogs/qt/qt_placement.h"
#include "dialogs/qt/qt_text.h"
#include "dialogs/qt/qt_view.h"
#include "dialogs/qt/qt_view_testing.h"
#include "dialogs/window_styles.h"

namespace orb::dialogs::qt {

namespace {

std::atomic<uint64_t> nextWindowSerial{1};

// Read-only edits are drawn on the dialog's own colour, as Windows draws them.
void useWindowColourAsBase(QWidget* widget) {
    QPalette palette = widget->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, palette.color(group, QPalette::Window));
    widget->setPalette(palette);
}

// A push button that shows itself as the default one the way Windows does: a
// black frame around the usual bevel (Qt's styles show it only in a QDialog).
class PushButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        if (isDefault()) {
            painter.setPen(palette().color(QPalette::Shadow));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(rect().adjusted(0, 0, -1, -1));
            option.rect = rect().adjusted(1, 1, -1, -1);
        }
        painter.drawControl(QStyle::CE_PushButton, option);
    }
};

}  // namespace

DialogWindow::DialogWindow(const WindowState& state) : handle_(state.handle) {
    requireGuiThread("a dialog window");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setProperty(kTemplateIdProperty, state.templateId);
    setProperty("orbWindowSerial", static_cast<qulonglong>(nextWindowSerial++));
    setFixedSize(state.width, state.height);
    for (const ControlState& control : state.controls) controls_.push_back(makeControl(control));
}

// Model to widgets.
void DialogWindow::apply(const WindowState& state) {
    applying_ = true;
    shown_ = state;
    QString title = fromAnsi(state.title);
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
        applyControl(controls_[i], state.controls[i]);
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
        if (controls_[i].widget == widget) return static_cast<int>(i);
    return -1;
}

void DialogWindow::focusControlAt(int index, Qt::FocusReason reason) {
    ControlWidget& control = controls_[static_cast<size_t>(index)];
    switch (control.kind) {
        case Kind::IpAddress: static_cast<Ipv4AddressControl*>(control.widget)->focusFirstField(reason); break;
        case Kind::LineEdit:
            control.widget->setFocus(reason);
            if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)
                static_cast<QLineEdit*>(control.widget)->selectAll();
            break;
        default: control.widget->setFocus(reason); break;
    }
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

ControlWidget DialogWindow::makeControl(const ControlState& state) {
    ControlWidget control;
    control.id = state.id;
    control.tabStop = (state.style & kWsTabStop) != 0;
    const WindowHandle window = handle_;
    const int id = state.id;
    if (state.kind == ControlKind::Button) {
        auto* button = new PushButton(fromAnsi(state.text), this);
        button->setAutoDefault(false);  // Enter is the dialog manager's business
        button->setFocusPolicy(control.tabStop ? Qt::StrongFocus : Qt::ClickFocus);
        QObject::connect(button, &QPushButton::clicked, button, [window, id] { input::pressButton(window, id); });
        control.kind = Kind::PushButton;
        control.widget = button;
    } else if (state.kind == ControlKind::Edit && (state.style & kEsMultiline) != 0) {
        auto* area = new QPlainTextEdit(this);
        bool readOnly = state.isReadOnlyText();
        area->setReadOnly(readOnly);
        area->setFrameShape((state.style & kWsBorder) ? QFrame::WinPanel : QFrame::NoFrame);
        if (state.style & kWsBorder) area->setFrameShadow(QFrame::Sunken);
        area->setLineWrapMode((state.style & kEsAutoHScroll) ? QPlainTextEdit::NoWrap
                                                             : QPlainTextEdit::WidgetWidth);
        area->setVerticalScrollBarPolicy((state.style & kWsVScroll) ? Qt::ScrollBarAsNeeded
                                                                    : Qt::ScrollBarAlwaysOff);
        area->setHorizontalScrollBarPolicy((state.style & kWsHScroll) ? Qt::ScrollBarAsNeeded
                                                                      : Qt::ScrollBarAlwaysOff);
        area->setTabChangesFocus(true);
        area->document()->setDocumentMargin(1);
        area->setContextMenuPolicy(Qt::NoContextMenu);
        if (readOnly) {
            useWindowColourAsBase(area);
            area->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        } else {
            QObject::connect(area, &QPlainTextEdit::textChanged, area, [this, window, id, area] {
                if (applying_) return;
                QString text = area->toPlainText();
                text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
                input::typeText(window, id, toAnsi(text));
            });
        }
        // Without WS_TABSTOP a read-only text takes no keyboard focus at all.
        area->setFocusPolicy(control.tabStop ? Qt::StrongFocus : (readOnly ? Qt::NoFocus : Qt::ClickFocus));
        control.kind = Kind::TextArea;
        control.widget = area;
    } else if (state.kind == ControlKind::Edit) {
        auto* edit = new QLineEdit(this);
        bool readOnly = state.isReadOnlyText();
        edit->setReadOnly(readOnly);
        edit->setFrame((state.style & kWsBorder) != 0);
        if (state.isPasswordField()) edit->setEchoMode(QLineEdit::Password);
        if (state.style & kEsCenter)
            edit->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        else if (state.style & kEsRight)
            edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        edit->setContextMenuPolicy(Qt::NoContextMenu);
        if (readOnly) {
            useWindowColourAsBase(edit);
        } else {
            QObject::connect(edit, &QLineEdit::textEdited, edit,
                             [window, id](const QString& text) { input::typeText(window, id, toAnsi(text)); });
        }
        edit->setFocusPolicy(control.tabStop ? Qt::StrongFocus : (readOnly ? Qt::NoFocus : Qt::ClickFocus));
        control.kind = Kind::LineEdit;
        control.widget = edit;
    } else if (state.kind == ControlKind::Icon) {
        auto* icon = new QLabel(this);
        QImage image = programIconImage();
        if (!image.isNull()) icon->setPixmap(QPixmap::fromImage(image));
        icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        icon->setFocusPolicy(Qt::NoFocus);
        control.kind = Kind::Icon;
        control.widget = icon;
    } else if (state.kind == ControlKind::Static) {
        auto* label = new QLabel(this);
        label->setTextFormat(Qt::PlainText);
        uint32_t type = state.style & kSsTypeMask;
        Qt::Alignment horizontal =
            type == kSsCenter ? Qt::AlignHCenter : (type == kSsRight ? Qt::AlignRight : Qt::AlignLeft);
        label->setAlignment(horizontal | Qt::AlignTop);
        label->setWordWrap(type != kSsLeftNoWordWrap);
        label->setMargin(0);
        label->setIndent(0);
        label->setFocusPolicy(Qt::NoFocus);
        control.kind = Kind::Label;
        control.widget = label;
    } else if (state.kind == ControlKind::ComboBox) {
        auto* combo = new QComboBox(this);
        combo->setFocusPolicy(control.tabStop ? Qt::StrongFocus : Qt::ClickFocus);
        QObject::connect(combo, &QComboBox::activated, combo,
                         [window, id](int index) { input::selectComboEntry(window, id, index); });
        control.kind = Kind::ComboBox;
        control.widget = combo;
    } else if (state.kind == ControlKind::ProgressBar) {
        control.kind = Kind::Progress;
        control.widget =
            new SegmentedProgressBar(this, (state.style & kPbsSmooth) != 0, (state.style & kWsBorder) != 0);
    } else if (state.kind == ControlKind::Ipv4Address) {
        auto* address = new Ipv4AddressControl(this);
        address->setEditedHandler([window, id](const QString& text) { input::typeText(window, id, toAnsi(text)); });
        for (int i = 0; i < 4; ++i)
            address->field(i)->setFocusPolicy(control.tabStop ? Qt::StrongFocus : Qt::ClickFocus);
        control.kind = Kind::IpAddress;
        control.widget = address;
    } else {
        auto* label = new QLabel(fromAnsi(state.text), this);  // a class this view does not know
        label->setTextFormat(Qt::PlainText);
        control.kind = Kind::Other;
        control.widget = label;
    }
    control.widget->setProperty(kControlIdProperty, state.id);
    int height = state.height;
    int width = state.width;
    if (control.kind == Kind::ComboBox) {
        // A Win32 combo box's height includes its dropped list: the closed
        // box takes the widget's own height, the rest is list.
        auto* combo = static_cast<QComboBox*>(control.widget);
        height = combo->sizeHint().height();
        int rowHeight = std::max(1, combo->fontMetrics().height() + 2);
        combo->setMaxVisibleItems(std::max(1, (state.height - height) / rowHeight));
    } else if (control.kind == Kind::Icon) {
        width = 32;  // SS_ICON sizes the control to the icon
        height = 32;
    }
    control.widget->setGeometry(state.x, state.y, width, height);
    return control;
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
    QString text = fromAnsi(state.hint);
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

void DialogWindow::applyControl(ControlWidget& control, const ControlState& state) {
    QWidget* widget = control.widget;
    if (widget->isEnabled() != state.enabled) widget->setEnabled(state.enabled);
    bool textChanged = !control.shownOnce || control.shownText != state.text;
    control.shownOnce = true;
    switch (control.kind) {
        case Kind::PushButton: {
            auto* button = static_cast<QPushButton*>(widget);
            if (textChanged) button->setText(fromAnsi(state.text));
            if (button->isDefault() != state.isDefault) button->setDefault(state.isDefault);
            break;
        }
        case Kind::LineEdit: {
            auto* edit = static_cast<QLineEdit*>(widget);
            QString text = fromAnsi(state.text);
            if (edit->text() != text) {
                edit->setText(text);
                if (edit->isReadOnly()) edit->setCursorPosition(0);
            }
            break;
        }
        case Kind::TextArea: {
            auto* area = static_cast<QPlainTextEdit*>(widget);
            if (textChanged) area->setPlainText(multilineText(state.text));
            break;
        }
        case Kind::Label:
        case Kind::Other:
            if (textChanged) static_cast<QLabel*>(widget)->setText(fromAnsi(state.text));
            break;
        case Kind::Icon: break;
        case Kind::ComboBox: {
            auto* combo = static_cast<QComboBox*>(widget);
            QSignalBlocker quiet(combo);
            if (control.shownItems != state.items) {
                combo->clear();
                for (const std::string& item : state.items) combo->addItem(fromAnsi(item));
                control.shownItems = state.items;
                control.shownSelection = -2;
            }
            if (control.shownSelection != state.selection || combo->currentIndex() != state.selection) {
                combo->setCurrentIndex(state.selection);
                control.shownSelection = state.selection;
            }
            break;
        }
        case Kind::Progress:
            static_cast<SegmentedProgressBar*>(widget)->setState(state.rangeLow, state.rangeHigh, state.position);
            break;
        case Kind::IpAddress:
            static_cast<Ipv4AddressControl*>(widget)->showAddressText(fromAnsi(state.text));
            break;
    }
    control.shownText = state.text;
}

DialogWindow* dialogWindowOf(QWidget* widget) {
    return widget != nullptr ? dynamic_cast<DialogWindow*>(widget->window()) : nullptr;
}

}  // namespace orb::dialogs::qt
