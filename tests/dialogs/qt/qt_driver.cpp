#include "tests/dialogs/qt/qt_driver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/process.h"
#include "dialogs/qt/qt_controls.h"
#include "dialogs/qt/qt_view_testing.h"

namespace orb::test::qt {

namespace view = orb::dialogs::qt;

void note(const std::string& line) {
    std::printf("driver: %s\n", line.c_str());
    std::fflush(stdout);
}

void fail(const std::string& why) {
    std::printf("DRIVER-FAIL: %s\n", why.c_str());
    std::fflush(stdout);
    orb::endProcess(3);
}

void check(bool condition, const std::string& what) {
    if (!condition) fail(what);
}

void onGui(const std::function<void()>& task) {
    if (!view::runOnGuiThread(task, kWaitMs)) fail("the GUI thread did not answer in time");
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        bool holds = false;
        onGui([&] { holds = condition(); });
        if (holds) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// The time-out is most often left to its default; the template id comes first.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
QPointer<QWidget> waitForWindow(int templateId, int timeoutMs, QWidget* notThis) {
    QPointer<QWidget> found;
    bool ok = waitUntil(
        [&] {
            QWidget* window = view::findDialogWindow(templateId);
            if (window == nullptr || window == notThis) return false;
            found = window;
            return true;
        },
        timeoutMs);
    if (!ok) fail("no window of template " + std::to_string(templateId) + " appeared");
    return found;
}

QPointer<QMessageBox> waitForMessageBox(int timeoutMs) {
    QPointer<QMessageBox> found;
    bool ok = waitUntil(
        [&] {
            auto boxes = view::visibleMessageBoxes();
            if (boxes.empty()) return false;
            found = boxes.front();
            return true;
        },
        timeoutMs);
    if (!ok) fail("no message box appeared");
    return found;
}

bool waitForGone(const QPointer<QWidget>& window, int timeoutMs) {
    return waitUntil([&] { return window.isNull() || !window->isVisible(); }, timeoutMs);
}

QWidget* controlWidget(const QPointer<QWidget>& window, int controlId) {
    if (window.isNull()) fail("the window has gone");
    QWidget* widget = view::findControl(window.data(), controlId);
    if (widget == nullptr) fail("the window has no control " + std::to_string(controlId));
    return widget;
}

QString shownText(const QPointer<QWidget>& window, int controlId) {
    QString text;
    onGui([&] {
        QWidget* widget = controlWidget(window, controlId);
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            text = button->text();
        else if (auto* edit = qobject_cast<QLineEdit*>(widget))
            text = edit->text();
        else if (auto* area = qobject_cast<QPlainTextEdit*>(widget))
            text = area->toPlainText();
        else if (auto* combo = qobject_cast<QComboBox*>(widget))
            text = combo->currentText();
        else if (auto* label = qobject_cast<QLabel*>(widget))
            text = label->text();
        else if (auto* address = dynamic_cast<view::Ipv4AddressControl*>(widget))
            text = address->addressText();
    });
    return text;
}

QString windowTitle(const QPointer<QWidget>& window) {
    QString title;
    onGui([&] {
        if (window.isNull()) fail("the window has gone");
        title = window->windowTitle();
    });
    return title;
}

bool windowEnabled(const QPointer<QWidget>& window) {
    bool enabled = false;
    onGui([&] {
        if (window.isNull()) fail("the window has gone");
        enabled = window->isEnabled();
    });
    return enabled;
}

void click(const QPointer<QWidget>& window, int controlId) {
    onGui([&] {
        auto* button = qobject_cast<QAbstractButton*>(controlWidget(window, controlId));
        if (button == nullptr) fail("control " + std::to_string(controlId) + " is no button");
        if (!button->isEnabled() || !button->window()->isEnabled()) fail("the button is disabled");
        button->click();
    });
}

void clickOk(const QPointer<QMessageBox>& box) {
    onGui([&] {
        if (box.isNull()) fail("the message box has gone");
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        if (ok == nullptr) fail("the message box has no OK button");
        ok->click();
    });
}

void focus(const QPointer<QWidget>& window, int controlId) {
    onGui([&] {
        QWidget* widget = controlWidget(window, controlId);
        if (auto* address = dynamic_cast<view::Ipv4AddressControl*>(widget))
            address->focusFirstField(Qt::MouseFocusReason);
        else
            widget->setFocus(Qt::MouseFocusReason);
    });
}

namespace {

QWidget* keyTarget(const QPointer<QWidget>& window) {
    if (window.isNull()) fail("the window has gone");
    QWidget* target = window->focusWidget();
    if (target == nullptr) target = QApplication::focusWidget();
    if (target == nullptr || target->window() != window.data()) target = window.data();
    return target;
}

int keyOf(QChar c) {
    if (c.isDigit()) return Qt::Key_0 + (c.unicode() - '0');
    if (c.isLetter()) return Qt::Key_A + (c.toUpper().unicode() - 'A');
    if (c == QLatin1Char('.')) return Qt::Key_Period;
    if (c == QLatin1Char(' ')) return Qt::Key_Space;
    if (c == QLatin1Char('*')) return Qt::Key_Asterisk;
    if (c == QLatin1Char('-')) return Qt::Key_Minus;
    return Qt::Key_unknown;
}

void sendKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QCoreApplication::sendEvent(target, &release);
}

}  // namespace

void type(const QPointer<QWidget>& window, const QString& text) {
    for (QChar c : text) {
        onGui([&] {
            Qt::KeyboardModifiers modifiers = c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier;
            sendKey(keyTarget(window), keyOf(c), modifiers, QString(c));
        });
    }
}

void pressKey(const QPointer<QWidget>& window, int key, Qt::KeyboardModifiers modifiers) {
    onGui([&] {
        QString text;
        if (key == Qt::Key_Return) text = QStringLiteral("\r");
        if (key == Qt::Key_Escape) text = QString(QChar(27));
        if (key == Qt::Key_Tab) text = QStringLiteral("\t");
        sendKey(keyTarget(window), key, modifiers, text);
    });
}

int focusedControlId(const QPointer<QWidget>& window) {
    int id = 0;
    onGui([&] {
        if (window.isNull()) fail("the window has gone");
        QWidget* focused = window->focusWidget();
        while (focused != nullptr && focused != window.data()) {
            QVariant property = focused->property(view::kControlIdProperty);
            if (property.isValid()) {
                id = property.toInt();
                return;
            }
            focused = focused->parentWidget();
        }
    });
    return id;
}

}  // namespace orb::test::qt
