// The test hooks of the Qt view (dialogs/qt/qt_view_testing.h).
#include "dialogs/qt/qt_view_testing.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QThread>
#include <qdrawutil.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "dialogs/qt/dialog_window.h"

namespace orb::dialogs::qt {

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
    if (application == nullptr || qtViewShuttingDown()) return false;
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
    QObject* target = qtViewObject() != nullptr ? qtViewObject() : application;
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
