#include "dialogs/qt/control_views.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>
#include <vector>

#include "dialogs/qt/qt_controls.h"
#include "dialogs/qt/qt_look.h"
#include "dialogs/qt/qt_text.h"
#include "dialogs/qt/qt_view_testing.h"
#include "dialogs/window_styles.h"

namespace orb::dialogs::qt {

ControlView::ControlView(const ControlState& state, QWidget* widget) : id_(state.id), widget_(widget) {
    widget_->setProperty(kControlIdProperty, state.id);
}

void ControlView::apply(const ControlState& state) {
    if (widget_->isEnabled() != state.enabled) widget_->setEnabled(state.enabled);
    bool textChanged = !shownOnce_ || shownText_ != state.text;
    shownOnce_ = true;
    show(state, textChanged);
    shownText_ = state.text;
}

void ControlView::focusIn(Qt::FocusReason reason) { widget_->setFocus(reason); }

void ControlView::place(const ControlState& state) {
    widget_->setGeometry(state.x, state.y, state.width, state.height);
}

namespace {

bool isTabStop(const ControlState& state) { return (state.style & kWsTabStop) != 0; }

// Without WS_TABSTOP a control takes the focus only from a click, and a
// read-only text not even from that.
Qt::FocusPolicy focusPolicyOf(const ControlState& state) {
    if (isTabStop(state)) return Qt::StrongFocus;
    return state.isReadOnlyText() ? Qt::NoFocus : Qt::ClickFocus;
}

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

// "Button": a click presses it; Enter is the dialog manager's business.
class ButtonView final : public ControlView {
public:
    ButtonView(const ControlState& state, WindowHandle window, QWidget* parent)
        : ButtonView(state, window, new PushButton(fromModelText(state.text), parent)) {}

private:
    ButtonView(const ControlState& state, WindowHandle window, PushButton* button)
        : ControlView(state, button), button_(button) {
        button->setAutoDefault(false);
        button->setFocusPolicy(isTabStop(state) ? Qt::StrongFocus : Qt::ClickFocus);
        const int id = state.id;
        QObject::connect(button, &QPushButton::clicked, button, [window, id] { input::pressButton(window, id); });
    }

    void show(const ControlState& state, bool textChanged) override {
        if (textChanged) button_->setText(fromModelText(state.text));
        if (button_->isDefault() != state.isDefault) button_->setDefault(state.isDefault);
    }

    QPushButton* button_;
};

// "Edit" with ES_MULTILINE: lines broken at \r\n.
class TextAreaView final : public ControlView {
public:
    TextAreaView(const ControlState& state, WindowHandle window, QWidget* parent)
        : TextAreaView(state, window, new QPlainTextEdit(parent)) {}

private:
    TextAreaView(const ControlState& state, WindowHandle window, QPlainTextEdit* area)
        : ControlView(state, area), area_(area) {
        const uint32_t style = state.style;
        area->setReadOnly(state.isReadOnlyText());
        area->setFrameShape((style & kWsBorder) ? QFrame::WinPanel : QFrame::NoFrame);
        if (style & kWsBorder) area->setFrameShadow(QFrame::Sunken);
        area->setLineWrapMode((style & kEsAutoHScroll) ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
        area->setVerticalScrollBarPolicy((style & kWsVScroll) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
        area->setHorizontalScrollBarPolicy((style & kWsHScroll) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
        area->setTabChangesFocus(true);
        area->document()->setDocumentMargin(1);
        area->setContextMenuPolicy(Qt::NoContextMenu);
        if (state.isReadOnlyText()) {
            useWindowColourAsBase(area);
            area->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        } else {
            const int id = state.id;
            QObject::connect(area, &QPlainTextEdit::textChanged, area, [showing = showing_, window, id, area] {
                if (*showing) return;  // the model's own text, not the user's
                QString text = area->toPlainText();
                text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
                input::typeText(window, id, toModelText(text));
            });
        }
        area->setFocusPolicy(focusPolicyOf(state));
    }

    void show(const ControlState& state, bool textChanged) override {
        if (!textChanged) return;
        *showing_ = true;
        area_->setPlainText(multilineText(state.text));
        *showing_ = false;
    }

    QPlainTextEdit* area_;
    // Shared with the widget's handler, which may outlive this view.
    std::shared_ptr<bool> showing_ = std::make_shared<bool>(false);
};

// "Edit" of one line; ES_PASSWORD shows bullets.
class LineEditView final : public ControlView {
public:
    LineEditView(const ControlState& state, WindowHandle window, QWidget* parent)
        : LineEditView(state, window, new QLineEdit(parent)) {}

    void focusIn(Qt::FocusReason reason) override {
        edit_->setFocus(reason);
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) edit_->selectAll();
    }

private:
    LineEditView(const ControlState& state, WindowHandle window, QLineEdit* edit)
        : ControlView(state, edit), edit_(edit) {
        edit->setReadOnly(state.isReadOnlyText());
        edit->setFrame((state.style & kWsBorder) != 0);
        if (state.isPasswordField()) edit->setEchoMode(QLineEdit::Password);
        if (state.style & kEsCenter)
            edit->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        else if (state.style & kEsRight)
            edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        edit->setContextMenuPolicy(Qt::NoContextMenu);
        if (state.isReadOnlyText()) {
            useWindowColourAsBase(edit);
        } else {
            const int id = state.id;
            QObject::connect(edit, &QLineEdit::textEdited, edit,
                             [window, id](const QString& text) { input::typeText(window, id, toModelText(text)); });
        }
        edit->setFocusPolicy(focusPolicyOf(state));
    }

    void show(const ControlState& state, bool) override {
        QString text = fromModelText(state.text);
        if (edit_->text() == text) return;
        edit_->setText(text);
        if (edit_->isReadOnly()) edit_->setCursorPosition(0);
    }

    QLineEdit* edit_;
};

// "Static" with SS_ICON: the program's icon, at its own size.
class IconView final : public ControlView {
public:
    IconView(const ControlState& state, QWidget* parent) : ControlView(state, new QLabel(parent)) {
        auto* icon = static_cast<QLabel*>(widget());
        QImage image = programIconImage();
        if (!image.isNull()) icon->setPixmap(QPixmap::fromImage(image));
        icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        icon->setFocusPolicy(Qt::NoFocus);
    }

    void place(const ControlState& state) override {
        widget()->setGeometry(state.x, state.y, 32, 32);  // SS_ICON sizes the control to the icon
    }

private:
    void show(const ControlState&, bool) override {}
};

// "Static" showing text, and a class this view does not know (its text).
class LabelView final : public ControlView {
public:
    LabelView(const ControlState& state, QLabel* label) : ControlView(state, label), label_(label) {
        label->setTextFormat(Qt::PlainText);
    }

    static std::unique_ptr<ControlView> text(const ControlState& state, QWidget* parent) {
        auto* label = new QLabel(parent);
        uint32_t type = state.style & kSsTypeMask;
        Qt::Alignment horizontal =
            type == kSsCenter ? Qt::AlignHCenter : (type == kSsRight ? Qt::AlignRight : Qt::AlignLeft);
        label->setAlignment(horizontal | Qt::AlignTop);
        label->setWordWrap(type != kSsLeftNoWordWrap);
        label->setMargin(0);
        label->setIndent(0);
        label->setFocusPolicy(Qt::NoFocus);
        return std::make_unique<LabelView>(state, label);
    }

    static std::unique_ptr<ControlView> unknown(const ControlState& state, QWidget* parent) {
        return std::make_unique<LabelView>(state, new QLabel(fromModelText(state.text), parent));
    }

private:
    void show(const ControlState& state, bool textChanged) override {
        if (textChanged) label_->setText(fromModelText(state.text));
    }

    QLabel* label_;
};

// "ComboBox": a choice of the model's entries.
class ComboBoxView final : public ControlView {
public:
    ComboBoxView(const ControlState& state, WindowHandle window, QWidget* parent)
        : ControlView(state, new QComboBox(parent)), combo_(static_cast<QComboBox*>(widget())) {
        combo_->setFocusPolicy(isTabStop(state) ? Qt::StrongFocus : Qt::ClickFocus);
        const int id = state.id;
        QObject::connect(combo_, &QComboBox::activated, combo_,
                         [window, id](int index) { input::selectComboEntry(window, id, index); });
    }

    void place(const ControlState& state) override {
        // A Win32 combo box's height includes its dropped list: the closed
        // box takes the widget's own height, the rest is list.
        int height = combo_->sizeHint().height();
        int rowHeight = std::max(1, combo_->fontMetrics().height() + 2);
        combo_->setMaxVisibleItems(std::max(1, (state.height - height) / rowHeight));
        combo_->setGeometry(state.x, state.y, state.width, height);
    }

private:
    void show(const ControlState& state, bool) override {
        QSignalBlocker quiet(combo_);
        if (shownItems_ != state.items) {
            combo_->clear();
            for (const std::string& item : state.items) combo_->addItem(fromModelText(item));
            shownItems_ = state.items;
            shownSelection_ = -2;
        }
        if (shownSelection_ != state.selection || combo_->currentIndex() != state.selection) {
            combo_->setCurrentIndex(state.selection);
            shownSelection_ = state.selection;
        }
    }

    QComboBox* combo_;
    std::vector<std::string> shownItems_;
    int shownSelection_ = -2;
};

// "msctls_progress32".
class ProgressBarView final : public ControlView {
public:
    ProgressBarView(const ControlState& state, QWidget* parent)
        : ControlView(state, new SegmentedProgressBar(parent, (state.style & kPbsSmooth) != 0,
                                                      (state.style & kWsBorder) != 0)) {}

private:
    void show(const ControlState& state, bool) override {
        static_cast<SegmentedProgressBar*>(widget())->setState(state.rangeLow, state.rangeHigh, state.position);
    }
};

// "SysIPAddress32".
class AddressView final : public ControlView {
public:
    AddressView(const ControlState& state, WindowHandle window, QWidget* parent)
        : ControlView(state, new Ipv4AddressControl(parent)), address_(static_cast<Ipv4AddressControl*>(widget())) {
        const int id = state.id;
        address_->setEditedHandler(
            [window, id](const QString& text) { input::typeText(window, id, toModelText(text)); });
        for (int i = 0; i < 4; ++i)
            address_->field(i)->setFocusPolicy(isTabStop(state) ? Qt::StrongFocus : Qt::ClickFocus);
    }

    void focusIn(Qt::FocusReason reason) override { address_->focusFirstField(reason); }

private:
    void show(const ControlState& state, bool) override { address_->showAddressText(fromModelText(state.text)); }

    Ipv4AddressControl* address_;
};

}  // namespace

std::unique_ptr<ControlView> makeControlView(const ControlState& state, WindowHandle window, QWidget* parent) {
    std::unique_ptr<ControlView> view;
    switch (state.kind) {
        case ControlKind::Button: view = std::make_unique<ButtonView>(state, window, parent); break;
        case ControlKind::Edit:
            if ((state.style & kEsMultiline) != 0)
                view = std::make_unique<TextAreaView>(state, window, parent);
            else
                view = std::make_unique<LineEditView>(state, window, parent);
            break;
        case ControlKind::Icon: view = std::make_unique<IconView>(state, parent); break;
        case ControlKind::Static: view = LabelView::text(state, parent); break;
        case ControlKind::ComboBox: view = std::make_unique<ComboBoxView>(state, window, parent); break;
        case ControlKind::ProgressBar: view = std::make_unique<ProgressBarView>(state, parent); break;
        case ControlKind::Ipv4Address: view = std::make_unique<AddressView>(state, window, parent); break;
        case ControlKind::Unknown: view = LabelView::unknown(state, parent); break;
    }
    view->place(state);
    return view;
}

}  // namespace orb::dialogs::qt
