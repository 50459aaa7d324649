#include "dialogs/qt/qt_view.h"
#include "dialogs/qt/qt_view_testing.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionTitleBar>
#include <QStylePainter>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <qdrawutil.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "dialogs/message_boxes.h"
#include "dialogs/qt/qt_controls.h"
#include "dialogs/qt/qt_look.h"
#include "dialogs/window_styles.h"

namespace orb::dialogs::qt {

namespace {

constexpr int kPassIntervalMs = 33;  // at most about 30 passes a second

// All text is single-byte (ANSI); Latin-1 is its reading here.
QString fromAnsi(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
std::string toAnsi(const QString& text) {
    QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}
// Edit controls break lines at \r\n.
QString multilineText(const std::string& text) {
    QString shown = fromAnsi(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

// Read-only edits are drawn on the dialog's own colour, as Windows draws them.
void useWindowColourAsBase(QWidget* widget) {
    QPalette palette = widget->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, palette.color(group, QPalette::Window));
    widget->setPalette(palette);
}

enum class Kind { PushButton, LineEdit, TextArea, Label, Icon, ComboBox, Progress, IpAddress, Other };

struct ControlWidget {
    int id = 0;
    Kind kind = Kind::Other;
    bool tabStop = false;
    QWidget* widget = nullptr;
    bool shownOnce = false;
    std::string shownText;
    std::vector<std::string> shownItems;
    int shownSelection = -2;
};

std::atomic<uint64_t> statNotifications{0};
std::atomic<uint64_t> statQueuedCalls{0};
std::atomic<uint64_t> statPasses{0};
std::atomic<uint64_t> statWindowReads{0};
std::atomic<int> statShortestGap{-1};
std::atomic<bool> shuttingDown{false};
std::atomic<uint64_t> nextWindowSerial{1};

QObject* guiObject = nullptr;  // the view: lives on the GUI thread

}  // namespace

void requireGuiThread(const char* what) {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr || QThread::currentThread() != application->thread()) {
        std::fprintf(stderr, "orb-upgrade: %s was to be made off the GUI thread\n", what);
        std::fflush(stderr);
        std::abort();
    }
}

namespace {

// Brings a window to the top; the offscreen platform has no stacking (and
// says so on every call).
void raiseWindow(QWidget* window) {
    static const bool stacking = QGuiApplication::platformName() != QStringLiteral("offscreen");
    if (stacking) window->raise();
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

// ---------------------------------------------------------------------------
// One dialog window of the model.

class DialogWindow : public QWidget {
public:
    explicit DialogWindow(const WindowState& state) : handle_(state.handle) {
        requireGuiThread("a dialog window");
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                       Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
        setProperty(kTemplateIdProperty, state.templateId);
        setProperty("orbWindowSerial", static_cast<qulonglong>(nextWindowSerial++));
        setFixedSize(state.width, state.height);
        for (const ControlState& control : state.controls) controls_.push_back(makeControl(control));
    }

    WindowHandle handle() const { return handle_; }
    bool applying() const { return applying_; }
    uint64_t serial() const { return property("orbWindowSerial").toULongLong(); }
    int controlCount() const { return static_cast<int>(controls_.size()); }
    int controlIdAt(int index) const { return controls_[static_cast<size_t>(index)].id; }
    QWidget* controlWidgetAt(int index) const { return controls_[static_cast<size_t>(index)].widget; }

    // Model to widgets.
    void apply(const WindowState& state) {
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
    int controlIndexOf(QWidget* widget) const {
        while (widget != nullptr && widget->parentWidget() != this) widget = widget->parentWidget();
        if (widget == nullptr) return -1;
        for (size_t i = 0; i < controls_.size(); ++i)
            if (controls_[i].widget == widget) return static_cast<int>(i);
        return -1;
    }

    void focusControlAt(int index, Qt::FocusReason reason) {
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
    void tab(bool backwards) {
        int current = controlIndexOf(focusWidget());
        int next = nextFocus(shown_, current >= 0 ? controlIdAt(current) : 0, backwards);
        for (int i = 0; next != 0 && i < controlCount(); ++i) {
            if (controlIdAt(i) != next) continue;
            focusControlAt(i, backwards ? Qt::BacktabFocusReason : Qt::TabFocusReason);
            return;
        }
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        // The close box: WM_CLOSE to the owning thread, which makes it IDCANCEL.
        event->ignore();
        if (!shuttingDown.load()) input::pressCloseBox(handle_);
    }

private:
    ControlWidget makeControl(const ControlState& state) {
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
    int applyHint(const WindowState& state) {
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

    void applyControl(ControlWidget& control, const ControlState& state) {
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

    WindowHandle handle_;
    std::vector<ControlWidget> controls_;
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

DialogWindow* dialogWindowOf(QWidget* widget) {
    return widget != nullptr ? dynamic_cast<DialogWindow*>(widget->window()) : nullptr;
}

// Enter, Escape and Tab in a dialog window, before the focused widget sees
// them, as the Windows dialog manager takes them.
class DialogKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
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
};

// The Windows buttons (messageBoxButtons) as Qt's standard buttons.
struct BoxButton {
    int windowsId;
    QMessageBox::StandardButton qt;
};
constexpr BoxButton kBoxButtons[] = {
    {kIdOk, QMessageBox::Ok},       {kIdCancel, QMessageBox::Cancel}, {kIdAbort, QMessageBox::Abort},
    {kIdRetry, QMessageBox::Retry}, {kIdIgnore, QMessageBox::Ignore}, {kIdYes, QMessageBox::Yes},
    {kIdNo, QMessageBox::No},
};

int windowsButtonOf(QMessageBox::StandardButton standardButton) {
    for (const BoxButton& button : kBoxButtons)
        if (button.qt == standardButton) return button.windowsId;
    return 0;
}

QMessageBox::StandardButton standardButtonOf(int windowsId) {
    for (const BoxButton& button : kBoxButtons)
        if (button.windowsId == windowsId) return button.qt;
    return QMessageBox::NoButton;
}

QMessageBox::StandardButtons buttonsFor(unsigned flags) {
    QMessageBox::StandardButtons buttons;
    for (int id : messageBoxButtons(flags)) buttons |= standardButtonOf(id);
    return buttons;
}

// Centres a window's client area on `area` (client coordinates, as the model's).
void centreOn(QWidget* widget, const QRect& area) {
    QSize size = widget->size();
    widget->setGeometry(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2,
                        size.width(), size.height());
}

class QtView final : public QObject, public DialogView {
public:
    QtView() {
        requireGuiThread("the view");
        guiObject = this;
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { pass(); });
        sinceLastPass_.start();
        auto* keys = new DialogKeys(this);
        qApp->installEventFilter(keys);
        // The user moved the focus (click, Tab, a field of the address control):
        // the model's focus follows, so Enter presses what Windows would press.
        QObject::connect(qApp, &QApplication::focusChanged, this, [](QWidget*, QWidget* now) {
            DialogWindow* window = dialogWindowOf(now);
            if (window == nullptr || window->applying() || shuttingDown.load()) return;
            int index = window->controlIndexOf(now);
            if (index >= 0) input::focusControl(window->handle(), window->controlIdAt(index));
        });
    }

    void windowCreated(WindowHandle window) override { markWindow(window); }
    void windowChanged(WindowHandle window) override { markWindow(window); }
    void windowDestroyed(WindowHandle window) override { markWindow(window); }
    void messageBoxShown(MessageBoxId) override { markBoxes(); }
    void messageBoxClosed(MessageBoxId) override { markBoxes(); }
    // About one frame a second: a repaint costs X a round trip and far more
    // than the waiting itself. 1,100 ms is no multiple of the waiting bar's
    // one-second cycle (1,000 positions of 1 ms), so each frame steps it a
    // tenth further and it fills in 11 s, where a divisor would show it
    // standing still or flickering between a few places.
    int progressFrameMs() const override { return 1100; }

private:
    // Any thread: note the change; queue at most one call while none is pending.
    void markWindow(WindowHandle window) {
        ++statNotifications;
        if (shuttingDown.load()) return;
        {
            std::lock_guard<std::mutex> lock(pendingMutex_);
            pendingWindows_.insert(window);
        }
        schedule();
    }
    void markBoxes() {
        ++statNotifications;
        if (shuttingDown.load()) return;
        {
            std::lock_guard<std::mutex> lock(pendingMutex_);
            pendingBoxes_ = true;
        }
        schedule();
    }
    void schedule() {
        if (passPending_.exchange(true)) return;
        ++statQueuedCalls;
        QMetaObject::invokeMethod(
            this, [this] { armTimer(); }, Qt::QueuedConnection);
    }

    // GUI thread.
    void armTimer() {
        if (timer_.isActive()) return;
        qint64 since = sinceLastPass_.isValid() ? sinceLastPass_.elapsed() : kPassIntervalMs;
        timer_.start(static_cast<int>(std::max<qint64>(0, kPassIntervalMs - since)));
    }

    void pass() {
        if (shuttingDown.load()) return;
        // Cleared before the changes are taken: a change after this point
        // queues the next pass.
        passPending_.store(false);
        std::set<WindowHandle> windows;
        bool boxes = false;
        {
            std::lock_guard<std::mutex> lock(pendingMutex_);
            windows.swap(pendingWindows_);
            boxes = pendingBoxes_;
            pendingBoxes_ = false;
        }
        if (statPasses.load() > 0) {
            int gap = static_cast<int>(sinceLastPass_.elapsed());
            int shortest = statShortestGap.load();
            if (shortest < 0 || gap < shortest) statShortestGap.store(gap);
        }
        ++statPasses;
        sinceLastPass_.restart();
        for (WindowHandle window : windows) syncWindow(window);
        if (boxes) syncBoxes();
    }

    void syncWindow(WindowHandle handle) {
        WindowState state;
        bool known = readWindowState(handle, &state);
        ++statWindowReads;
        auto found = windows_.find(handle);
        DialogWindow* window = found != windows_.end() ? found->second : nullptr;
        if (!known || !state.alive) {
            if (window != nullptr) {
                window->hide();
                window->deleteLater();
                windows_.erase(found);
            }
            return;
        }
        if (!state.visible) {  // being made, or ended and about to be destroyed
            if (window != nullptr && window->isVisible()) window->hide();
            return;
        }
        bool fresh = window == nullptr;
        if (fresh) {
            window = new DialogWindow(state);
            windows_[handle] = window;
        }
        window->apply(state);
        if (!window->isVisible()) {
            window->show();
            raiseWindow(window);
            window->activateWindow();
        }
    }

    void syncBoxes() {
        std::vector<MessageBoxState> open = listMessageBoxes();
        std::set<MessageBoxId> openIds;
        for (const MessageBoxState& box : open) {
            openIds.insert(box.id);
            if (boxes_.count(box.id) == 0) boxes_[box.id] = makeBox(box);
        }
        for (auto it = boxes_.begin(); it != boxes_.end();) {
            if (openIds.count(it->first) != 0) {
                ++it;
                continue;
            }
            it->second->hide();
            it->second->deleteLater();
            it = boxes_.erase(it);
        }
    }

    QMessageBox* makeBox(const MessageBoxState& state) {
        requireGuiThread("a message box");
        auto* box = new QMessageBox();
        box->setWindowTitle(fromAnsi(state.caption));
        box->setTextFormat(Qt::PlainText);
        box->setText(fromAnsi(state.text));
        box->setIcon(QMessageBox::NoIcon);
        box->setStandardButtons(buttonsFor(state.flags));
        box->setDefaultButton(standardButtonOf(messageBoxEnterButton(state.flags)));
        if (int escape = messageBoxEscapeButton(state.flags); escape != 0)
            box->setEscapeButton(standardButtonOf(escape));
        box->setWindowModality(Qt::NonModal);  // the model disables what the box disables
        box->setProperty(kMessageBoxIdProperty, static_cast<qulonglong>(state.id));
        const MessageBoxId id = state.id;
        // A button, Enter, Escape or the close box: the button that was
        // "clicked" (Escape and the close box click the escape button).
        QObject::connect(box, &QDialog::finished, box, [id, box](int) {
            QAbstractButton* clicked = box->clickedButton();
            int button = clicked != nullptr ? windowsButtonOf(box->standardButton(clicked)) : 0;
            if (button == 0) button = kIdOk;
            if (!shuttingDown.load()) input::answerMessageBox(id, button);
        });
        DialogWindow* owner = nullptr;
        auto found = windows_.find(state.owner);
        if (state.owner != nullptr && found != windows_.end()) owner = found->second;
        if (owner != nullptr) {
            // Owned by that dialog: kept above it.
            box->createWinId();
            if (box->windowHandle() != nullptr && owner->windowHandle() != nullptr)
                box->windowHandle()->setTransientParent(owner->windowHandle());
        }
        // Shown first, as QMessageBox settles its size when shown; centred on
        // its owner, or on the screen, before the event loop maps it.
        box->show();
        if (owner != nullptr)
            centreOn(box, owner->geometry());
        else if (QScreen* screen = QGuiApplication::primaryScreen())
            centreOn(box, screen->geometry());
        raiseWindow(box);
        box->activateWindow();
        return box;
    }

    std::mutex pendingMutex_;
    std::set<WindowHandle> pendingWindows_;
    bool pendingBoxes_ = false;
    std::atomic<bool> passPending_{false};

    QTimer timer_;
    QElapsedTimer sinceLastPass_;
    std::map<WindowHandle, DialogWindow*> windows_;
    std::map<MessageBoxId, QMessageBox*> boxes_;
};

}  // namespace

DialogView* createQtView() { return new QtView; }

void beginQtViewShutdown() { shuttingDown.store(true); }

QWidget* findDialogWindow(int templateId) {
    DialogWindow* newest = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* window = dynamic_cast<DialogWindow*>(widget);
        if (window == nullptr || !window->isVisible()) continue;
        if (window->property(kTemplateIdProperty).toInt() != templateId) continue;
        if (newest == nullptr || window->serial() > newest->serial()) newest = window;
    }
    return newest;
}

QWidget* findControl(QWidget* dialogWindow, int controlId) {
    auto* window = dynamic_cast<DialogWindow*>(dialogWindow);
    if (window == nullptr) return nullptr;
    for (int i = 0; i < window->controlCount(); ++i)
        if (window->controlIdAt(i) == controlId) return window->controlWidgetAt(i);
    return nullptr;
}

std::vector<QMessageBox*> visibleMessageBoxes() {
    std::vector<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box != nullptr && box->isVisible() && box->property(kMessageBoxIdProperty).isValid()) boxes.push_back(box);
    }
    std::sort(boxes.begin(), boxes.end(), [](QMessageBox* a, QMessageBox* b) {
        return a->property(kMessageBoxIdProperty).toULongLong() < b->property(kMessageBoxIdProperty).toULongLong();
    });
    return boxes;
}

bool runOnGuiThread(const std::function<void()>& task, int timeoutMs) {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr || shuttingDown.load()) return false;
    if (QThread::currentThread() == application->thread()) {
        // A blocking queued call from the GUI thread to itself would deadlock.
        task();
        return true;
    }
    // The hand-back goes through a standard mutex, which thread checkers see.
    struct Completion {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
    };
    auto completion = std::make_shared<Completion>();
    QObject* target = guiObject != nullptr ? guiObject : application;
    QMetaObject::invokeMethod(
        target,
        [task, completion] {
            task();
            std::lock_guard<std::mutex> lock(completion->mutex);
            completion->done = true;
            completion->finished.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(completion->mutex);
    return completion->finished.wait_for(lock, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
                                         [&] { return completion->done; });
}

ViewStatistics readViewStatistics() {
    ViewStatistics statistics;
    statistics.notifications = statNotifications.load();
    statistics.queuedCalls = statQueuedCalls.load();
    statistics.passes = statPasses.load();
    statistics.windowReads = statWindowReads.load();
    statistics.shortestPassGapMs = statShortestGap.load();
    return statistics;
}

QImage pictureWithTitleBar(QWidget* window) {
    QPixmap client = window->grab();
    QStyle* style = window->style();
    QStyleOptionTitleBar option;
    option.initFrom(window);
    option.text = window->windowTitle();
    option.icon = window->windowIcon();
    option.titleBarFlags = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    option.titleBarState = Qt::WindowActive;
    option.state |= QStyle::State_Active | QStyle::State_Enabled;
    option.subControls = QStyle::SC_TitleBarLabel | QStyle::SC_TitleBarSysMenu | QStyle::SC_TitleBarCloseButton;
    option.activeSubControls = QStyle::SC_None;
    option.palette = window->palette();
    int titleHeight = style->pixelMetric(QStyle::PM_TitleBarHeight, &option, window);
    const int frame = 3;  // a dialog frame, as Windows 9x draws DS_MODALFRAME
    int width = client.width() + 2 * frame;
    int height = client.height() + titleHeight + 2 * frame + 1;
    QImage picture(width, height, QImage::Format_ARGB32);
    picture.fill(window->palette().color(QPalette::Window));
    QPainter painter(&picture);
    qDrawWinPanel(&painter, QRect(0, 0, width, height), window->palette(), false);
    option.rect = QRect(frame, frame, client.width(), titleHeight);
    style->drawComplexControl(QStyle::CC_TitleBar, &option, &painter, window);
    painter.drawPixmap(frame, frame + titleHeight + 1, client);
    painter.end();
    return picture;
}

}  // namespace orb::dialogs::qt
