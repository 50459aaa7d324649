// The Qt view in this process, on Qt's offscreen platform: this thread is the
// GUI thread, program threads open the dialogs with trivial procedures, and the
// test acts on the widgets and checks the model (through the robot's readers).
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <thread>

#include "platform/sockets.h"
#include "platform/windowing.h"
#include "dialogs/dialog_view.h"
#include "dialogs/qt/qt_controls.h"
#include "dialogs/qt/qt_look.h"
#include "dialogs/qt/qt_view_testing.h"
#include "upgrade/dialog_ids.h"
#include "tests/support/child_process.h"
#include "tests/support/dialog_robot.h"

namespace orb::test {
namespace {

namespace view = orb::dialogs::qt;
using Clock = std::chrono::steady_clock;

// A procedure that only closes: 1 on IDOK, 0 on IDCANCEL.
bool plainProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t) {
    if (message == kWmInitDialog) return true;
    if (message != kWmCommand) return false;
    int id = static_cast<int>(wParam & 0xFFFF);
    if (id == kIdOk || id == kIdCancel) {
        endDialog(window, id == kIdOk ? 1 : 0);
        return true;
    }
    return false;
}

class QtView : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (QApplication::instance() != nullptr) return;
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "qt_view_tests";
        static char* argv[] = {name, nullptr};
        auto* application = new QApplication(argc, argv);  // lives as long as the process
        view::installQtView(*application);
    }

    // Runs the GUI thread's events until `condition` holds; false after the time-out.
    static bool pumpUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
        auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!condition()) {
            if (Clock::now() >= deadline) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    static QWidget* waitForWindow(int templateId) {
        QWidget* found = nullptr;
        pumpUntil([&] { return (found = view::findDialogWindow(templateId)) != nullptr; });
        return found;
    }

    // The first message box shown, once there is one; nullptr after the time-out.
    static QMessageBox* waitForMessageBox() {
        QMessageBox* box = nullptr;
        pumpUntil([&] {
            auto boxes = view::visibleMessageBoxes();
            box = boxes.empty() ? nullptr : boxes.front();
            return box != nullptr;
        });
        return box;
    }

    static void sendKey(QWidget* target, int key, const QString& text = QString(),
                        Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
        QCoreApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
        QCoreApplication::sendEvent(target, &release);
    }

    // Types into the window's focused widget, following the focus.
    static void type(QWidget* window, const QString& text) {
        for (QChar c : text) {
            int key = c.isDigit()
                          ? Qt::Key_0 + (c.unicode() - '0')
                          : (c == QLatin1Char('.') ? Qt::Key_Period : Qt::Key_A + (c.toUpper().unicode() - 'A'));
            sendKey(window->focusWidget(), key, QString(c));
        }
    }

    static int focusedId(QWidget* window) {
        for (QWidget* w = window->focusWidget(); w != nullptr && w != window; w = w->parentWidget()) {
            QVariant id = w->property(view::kControlIdProperty);
            if (id.isValid()) return id.toInt();
        }
        return 0;
    }
};

// A modal dialog on a program thread of its own.
struct ModalRun {
    std::atomic<bool> done{false};
    std::atomic<intptr_t> result{-5};
    std::thread thread;
    explicit ModalRun(int templateId) {
        thread = std::thread([this, templateId] {
            result = runModalDialog(nullptr, templateId, plainProc);
            done = true;
        });
    }
    ~ModalRun() {
        // A failed test leaves the dialog open: its close box ends it.
        while (!done.load()) {
            for (WindowHandle window : robot::openWindows()) dialogs::input::pressCloseBox(window);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (thread.joinable()) thread.join();
    }
};

// A modeless window on a program thread that pumps its messages until told to
// destroy it, as the progress loops do; `work` runs on that thread first.
struct ModelessRun {
    std::atomic<WindowHandle> handle{nullptr};
    std::atomic<bool> release{false};
    std::atomic<bool> workDone{false};
    std::thread thread;
    explicit ModelessRun(int templateId, std::function<void(WindowHandle)> work = nullptr) {
        thread = std::thread([this, templateId, work] {
            handle = createModelessDialog(nullptr, templateId, plainProc);
            if (work) work(handle.load());
            workDone = true;
            while (!release.load()) {
                pumpAllMessages(handle.load());
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            destroyWindow(handle.load());
        });
    }
    void finish() {
        release = true;
        if (thread.joinable()) thread.join();
    }
    ~ModelessRun() { finish(); }
};

TEST_F(QtView, TheDialogFontGivesWindowsBaseUnits) {
    int baseX = 0, baseY = 0;
    dialogs::readDialogBaseUnits(&baseX, &baseY);
    QString family = QFontInfo(QApplication::font()).family();
    int computedX = 0, computedY = 0;
    view::computeBaseUnits(QApplication::font(), &computedX, &computedY);
    EXPECT_EQ(baseX, computedX);
    EXPECT_EQ(baseY, computedY);
    if (family == QStringLiteral("MS Sans Serif")) {
        EXPECT_EQ(baseX, 6);
        EXPECT_EQ(baseY, 13);
    } else {
        std::printf("fonts-wine is not installed: %s gives %d x %d\n", qPrintable(family), baseX, baseY);
    }
}

TEST_F(QtView, WithoutFontsWineASansFontGivesItsOwnBaseUnits) {
    view::DialogFont fallback = view::loadDialogFont(QStringList{QStringLiteral("/nonexistent/ms_sans_serif.ttf")});
    EXPECT_FALSE(fallback.msSansSerif);
    QFontMetrics metrics(fallback.font);
    int width = metrics.horizontalAdvance(QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"));
    EXPECT_EQ(fallback.baseX, (width / 26 + 1) / 2);
    EXPECT_EQ(fallback.baseY, metrics.height());
    std::printf("fallback font %s: %d x %d\n", qPrintable(QFontInfo(fallback.font).family()), fallback.baseX,
                fallback.baseY);
    if (QFontInfo(fallback.font).family() == QStringLiteral("DejaVu Sans")) {
        EXPECT_EQ(fallback.baseX, 7);  // FACTS.md
        EXPECT_EQ(fallback.baseY, 13);
    }
}

TEST_F(QtView, TheProgramIconIs32By32) {
    QImage icon = view::programIconImage();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.size(), QSize(32, 32));
    EXPECT_FALSE(QApplication::windowIcon().isNull());
}

TEST_F(QtView, EveryTemplateIsDrawnFromTheModelsPixelRectangles) {
    for (int templateId : {kWarningDialogId, kAddressDialogId, kConnectingWindowId, kCredentialsDialogId,
                           kConfirmDialogId, kWaitingWindowId, kUploadWindowId, kSuccessDialogId}) {
        SCOPED_TRACE(templateId);
        ModelessRun run(templateId, [](WindowHandle handle) { moveWindowToTop(handle, 120, 80); });
        ASSERT_TRUE(pumpUntil([&] { return run.workDone.load(); }));
        WindowHandle handle = run.handle.load();
        ASSERT_NE(handle, nullptr);
        QWidget* window = waitForWindow(templateId);
        ASSERT_NE(window, nullptr);
        dialogs::WindowState state;
        ASSERT_TRUE(dialogs::readWindowState(handle, &state));
        EXPECT_EQ(window->size(), QSize(state.width, state.height));
        EXPECT_EQ(window->geometry().topLeft(), QPoint(state.x, state.y));
        EXPECT_EQ(window->windowTitle().toStdString(), state.title);
        for (const dialogs::ControlState& control : state.controls) {
            QWidget* widget = nullptr;
            for (QWidget* child : window->findChildren<QWidget*>()) {
                QVariant id = child->property(view::kControlIdProperty);
                if (id.isValid() && id.toInt() == control.id &&
                    child->geometry().topLeft() == QPoint(control.x, control.y))
                    widget = child;
            }
            ASSERT_NE(widget, nullptr) << "control " << control.id;
            if (control.className == "ComboBox") {
                EXPECT_EQ(widget->width(), control.width);
                EXPECT_LT(widget->height(), control.height);  // the closed box, without its list
            } else if ((control.style & 0x1F) == 3 && control.className == "Static") {
                EXPECT_EQ(widget->size(), QSize(32, 32));  // SS_ICON
            } else {
                EXPECT_EQ(widget->geometry(), QRect(control.x, control.y, control.width, control.height))
                    << "control " << control.id;
            }
        }
        run.finish();
        ASSERT_TRUE(pumpUntil([&] { return view::findDialogWindow(templateId) == nullptr; }));
    }
}

TEST_F(QtView, TabFollowsTheTemplateOrderAndEnterPressesTheFocusedButton) {
    ModalRun run(kAddressDialogId);
    QWidget* window = waitForWindow(kAddressDialogId);
    ASSERT_NE(window, nullptr);
    // WM_INITDIALOG returned true: the first WS_TABSTOP control, OK, has the focus.
    ASSERT_TRUE(pumpUntil([&] { return focusedId(window) == kIdOk; })) << focusedId(window);
    std::vector<int> order;
    for (int i = 0; i < 7; ++i) {
        sendKey(window->focusWidget(), Qt::Key_Tab);
        order.push_back(focusedId(window));
    }
    // Template order: OK, Cancel, 1007, 1008, 1015, 1017, 1000; the static texts
    // and the icon take no focus.
    EXPECT_EQ(order, (std::vector<int>{kIdCancel, 1007, 1008, 1015, 1017, 1000, kIdOk}));
    sendKey(window->focusWidget(), Qt::Key_Backtab, QString(), Qt::ShiftModifier);
    EXPECT_EQ(focusedId(window), 1000);
    // The model's focus follows, so Enter on the focused Cancel presses Cancel.
    sendKey(window->focusWidget(), Qt::Key_Tab);
    sendKey(window->focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(focusedId(window), kIdCancel);
    auto* cancel = qobject_cast<QPushButton*>(view::findControl(window, kIdCancel));
    ASSERT_TRUE(pumpUntil([&] { return cancel->isDefault(); })) << "the focused push button is the default";
    sendKey(window->focusWidget(), Qt::Key_Return, QStringLiteral("\r"));
    ASSERT_TRUE(pumpUntil([&] { return run.done.load(); }));
    EXPECT_EQ(run.result.load(), 0);
    pumpUntil([&] { return view::findDialogWindow(kAddressDialogId) == nullptr; });
}

TEST_F(QtView, TheAddressControlHasFourFieldsAndKeepsTheModelInStep) {
    ModalRun run(kAddressDialogId);
    QWidget* window = waitForWindow(kAddressDialogId);
    ASSERT_NE(window, nullptr);
    WindowHandle handle = robot::waitForDialog(kAddressDialogId, 2000);
    auto* control = dynamic_cast<view::Ipv4AddressControl*>(view::findControl(window, 1000));
    ASSERT_NE(control, nullptr);
    char text[64];
    readControlText(handle, 1000, text, sizeof text);
    EXPECT_STREQ(text, "0.0.0.0");  // four blank fields

    control->focusFirstField(Qt::MouseFocusReason);
    type(window, QStringLiteral("10.1"));
    EXPECT_EQ(control->field(0)->text(), QStringLiteral("10"));
    EXPECT_EQ(control->field(1)->text(), QStringLiteral("1"));
    readControlText(handle, 1000, text, sizeof text);
    EXPECT_STREQ(text, "10.1.0.0");  // blank fields read as 0

    // A third digit moves on by itself; a "." after it is not taken as an empty field.
    type(window, QStringLiteral(".123.45"));
    readControlText(handle, 1000, text, sizeof text);
    EXPECT_STREQ(text, "10.1.123.45");
    EXPECT_EQ(control->addressText(), QStringLiteral("10.1.123.45"));

    // Above 255 becomes 255; Backspace crosses back into the previous field.
    control->field(3)->setFocus();
    control->field(3)->selectAll();
    type(window, QStringLiteral("999"));
    EXPECT_EQ(control->field(3)->text(), QStringLiteral("255"));
    control->field(3)->setCursorPosition(0);
    sendKey(window->focusWidget(), Qt::Key_Backspace);
    EXPECT_EQ(window->focusWidget(), control->field(2));
    readControlText(handle, 1000, text, sizeof text);
    EXPECT_STREQ(text, "10.1.123.255");
    EXPECT_EQ(robot::controlText(handle, 1000), "10.1.123.255");

    // Letters are not taken.
    control->field(0)->setFocus();
    control->field(0)->setCursorPosition(2);
    type(window, QStringLiteral("x"));
    EXPECT_EQ(control->field(0)->text(), QStringLiteral("10"));

    // Emptied again, the control reads 0.0.0.0.
    for (int i = 0; i < 4; ++i) {
        control->field(i)->setFocus();
        control->field(i)->selectAll();
        sendKey(control->field(i), Qt::Key_Delete);
    }
    readControlText(handle, 1000, text, sizeof text);
    EXPECT_STREQ(text, "0.0.0.0");

    QMetaObject::invokeMethod(
        window, [window] { window->close(); }, Qt::QueuedConnection);  // the close box
    ASSERT_TRUE(pumpUntil([&] { return run.done.load(); }));
    EXPECT_EQ(run.result.load(), 0);
}

// The model holds UTF-8, as the terminal and unattended mode do: é typed is
// C3 A9 in the model, and the model's UTF-8 is shown as its characters.
TEST_F(QtView, TheModelsTextsAreUtf8) {
    ModalRun run(kCredentialsDialogId);
    QWidget* window = waitForWindow(kCredentialsDialogId);
    ASSERT_NE(window, nullptr);
    WindowHandle handle = robot::waitForDialog(kCredentialsDialogId, 2000);
    auto* password = qobject_cast<QLineEdit*>(view::findControl(window, 1005));
    auto* user = qobject_cast<QLineEdit*>(view::findControl(window, 1003));
    ASSERT_TRUE(password != nullptr && user != nullptr);
    password->setFocus();
    sendKey(password, Qt::Key_Eacute, QString(QChar(0xe9)));
    EXPECT_EQ(robot::controlText(handle, 1005), "\xc3\xa9");
    ASSERT_TRUE(robot::typeText(handle, 1003, "J\xc3\xb6rg"));
    EXPECT_TRUE(pumpUntil([&] { return user->text() == QString::fromUtf8("J\xc3\xb6rg"); }))
        << user->text().toStdString();
    QMetaObject::invokeMethod(
        window, [window] { window->close(); }, Qt::QueuedConnection);
    ASSERT_TRUE(pumpUntil([&] { return run.done.load(); }));
    pumpUntil([&] { return view::findDialogWindow(kCredentialsDialogId) == nullptr; });
}

TEST_F(QtView, ReadOnlyTextsTakeTheFocusOnlyWithATabStop) {
    ModalRun run(kWarningDialogId);
    QWidget* window = waitForWindow(kWarningDialogId);
    ASSERT_NE(window, nullptr);
    auto* text = qobject_cast<QPlainTextEdit*>(view::findControl(window, 1021));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_EQ(text->frameShape(), QFrame::NoFrame);
    auto* proceed = qobject_cast<QPushButton*>(view::findControl(window, kIdOk));
    auto* cancel = qobject_cast<QPushButton*>(view::findControl(window, kIdCancel));
    // The procedure left the focus to the dialog manager: the first WS_TABSTOP
    // control, Continue, which as the focused push button is the one Enter presses.
    ASSERT_TRUE(pumpUntil([&] { return proceed->isDefault() && !cancel->isDefault(); }));
    sendKey(window->focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(focusedId(window), kIdCancel);  // past the read-only text, which has no WS_TABSTOP
    ASSERT_TRUE(pumpUntil([&] { return cancel->isDefault() && !proceed->isDefault(); }));
    // Escape is IDCANCEL in a modal dialog.
    sendKey(window->focusWidget() != nullptr ? window->focusWidget() : window, Qt::Key_Escape);
    ASSERT_TRUE(pumpUntil([&] { return run.done.load(); }));
    EXPECT_EQ(run.result.load(), 0);
}

TEST_F(QtView, ATaskModalBoxDisablesTheCallersWindowsUntilAnswered) {
    std::atomic<WindowHandle> handle{nullptr};
    std::atomic<int> answer{-1};
    std::atomic<bool> release{false};
    std::thread program([&] {
        handle = createModelessDialog(nullptr, kConnectingWindowId, plainProc);
        answer = showMessageBox(nullptr, "Upgrade Failed: Test", "Caption", kMbOk | kMbTaskModal);
        // As a progress loop does: wait for the window's messages, pump them.
        while (!release.load()) {
            waitForInput(handle.load(), kInvalidSocket, 1, 10);
            pumpAllMessages(handle.load());
        }
        destroyWindow(handle.load());
    });
    QWidget* window = waitForWindow(kConnectingWindowId);
    ASSERT_NE(window, nullptr);
    QMessageBox* box = waitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Caption"));
    EXPECT_EQ(box->text(), QStringLiteral("Upgrade Failed: Test"));
    ASSERT_TRUE(pumpUntil([&] { return !window->isEnabled(); }));
    // A click on the disabled window's Cancel goes nowhere.
    qobject_cast<QPushButton*>(view::findControl(window, kIdCancel))->click();
    box->button(QMessageBox::Ok)->click();
    ASSERT_TRUE(pumpUntil([&] { return answer.load() == kIdOk; }));
    ASSERT_TRUE(pumpUntil([&] { return window->isEnabled(); }));
    EXPECT_TRUE(robot::isAlive(handle.load()));  // the click while disabled did not cancel it
    release = true;
    program.join();
    ASSERT_TRUE(pumpUntil([&] { return view::findDialogWindow(kConnectingWindowId) == nullptr; }));
}

TEST_F(QtView, AnOwnedBoxIsCentredOnItsOwnerAndEscapeAnswersIt) {
    std::atomic<int> answer{-1};
    ModelessRun run(kAddressDialogId, [&](WindowHandle handle) {
        moveWindowToTop(handle, 300, 200);
        answer = showMessageBox(handle, "Invalid IP Address", "Error", kMbOk);
    });
    QWidget* window = waitForWindow(kAddressDialogId);
    ASSERT_NE(window, nullptr);
    QMessageBox* box = waitForMessageBox();
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return !window->isEnabled(); })) << "the box disables its owner";
    EXPECT_TRUE(box->isEnabled());
    EXPECT_LE(std::abs(box->geometry().center().x() - window->geometry().center().x()), 1);
    EXPECT_LE(std::abs(box->geometry().center().y() - window->geometry().center().y()), 1);
    EXPECT_TRUE(box->icon() == QMessageBox::NoIcon);
    sendKey(box, Qt::Key_Escape);
    ASSERT_TRUE(pumpUntil([&] { return answer.load() == kIdOk; }));
    ASSERT_TRUE(pumpUntil([&] { return window->isEnabled() && view::visibleMessageBoxes().empty(); }));
    run.finish();
    ASSERT_TRUE(pumpUntil([&] { return view::findDialogWindow(kAddressDialogId) == nullptr; }));
}

TEST_F(QtView, AThousandChangesASecondAreDrawnAtMostThirtyTimesASecond) {
    const int kSteps = 1500;
    ModelessRun run(kUploadWindowId, [&](WindowHandle handle) {
        setProgressRange(handle, kProgressBarId, 0, kSteps);
        for (int position = 1; position <= kSteps; ++position) {
            setProgressPosition(handle, kProgressBarId, position);
            pumpAllMessages(handle);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    QWidget* window = waitForWindow(kUploadWindowId);
    ASSERT_NE(window, nullptr);
    auto* bar = dynamic_cast<view::SegmentedProgressBar*>(view::findControl(window, kProgressBarId));
    ASSERT_NE(bar, nullptr);
    view::ViewStatistics before = view::readViewStatistics();
    auto start = Clock::now();
    ASSERT_TRUE(pumpUntil([&] { return run.workDone.load(); }, 20000));
    long long elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    ASSERT_TRUE(pumpUntil([&] { return bar->position() == kSteps; })) << bar->position();
    view::ViewStatistics after = view::readViewStatistics();
    uint64_t passes = after.passes - before.passes;
    uint64_t queued = after.queuedCalls - before.queuedCalls;
    uint64_t notifications = after.notifications - before.notifications;
    std::printf("%d changes in %lld ms: %llu notifications, %llu queued calls, %llu passes, shortest gap %d ms\n",
                kSteps, elapsedMs, static_cast<unsigned long long>(notifications),
                static_cast<unsigned long long>(queued), static_cast<unsigned long long>(passes),
                after.shortestPassGapMs);
    EXPECT_LE(passes, static_cast<uint64_t>(elapsedMs / 33 + 4));
    EXPECT_LE(queued, passes + 2);
    EXPECT_LE(notifications, passes + 4);  // coalesced at the source until the view reads
    EXPECT_GE(after.shortestPassGapMs, 30);
    EXPECT_GT(bar->filledBlocks(), 0);
    run.finish();
    ASSERT_TRUE(pumpUntil([&] { return view::findDialogWindow(kUploadWindowId) == nullptr; }));
}

TEST_F(QtView, TheSegmentedBarDrawsWholeBlocks) {
    QWidget parent;
    view::SegmentedProgressBar bar(&parent, false, true);
    bar.setGeometry(0, 0, 212, 23);  // 141 x 14 dialog units at 6 x 13
    bar.setState(0, 100, 0);
    EXPECT_EQ(bar.filledBlocks(), 0);
    bar.setState(0, 100, 100);
    int all = bar.filledBlocks();
    // Inner height 19: blocks of 12 pixels and gaps of 2 across 208 pixels.
    EXPECT_EQ(all, (208 + 13) / 14);
    bar.setState(0, 100, 50);
    EXPECT_EQ(bar.filledBlocks(), (104 + 13) / 14);
}

TEST_F(QtView, WidgetsMadeOffTheGuiThreadAbort) {
    ChildResult result = runInChild([] {
        std::thread offGui([] { view::requireGuiThread("a test widget"); });
        offGui.join();
        std::puts("not aborted");
    });
    EXPECT_FALSE(result.exited) << result.output;
    EXPECT_EQ(result.signal, SIGABRT) << result.output;
    EXPECT_NE(result.output.find("a test widget was to be made off the GUI thread"), std::string::npos)
        << result.output;
}

}  // namespace
}  // namespace orb::test
