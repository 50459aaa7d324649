// The model and the message queues: windows created from templates, one queue
// per thread, procedures called only on the thread that created their window,
// when that thread pumps; the view told after every change.
#include "dialogs/window_model.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/threads.h"
#include "base/dialog_log.h"
#include "dialogs/window_styles.h"

namespace orb::dialogs {

namespace {

class HeadlessView : public DialogView {};

Model* forkSafeModel = nullptr;

Model* newModel() {
    forkSafeModel = new Model;
    // A forked child (runInChild, death tests) must not inherit the lock held
    // by a thread that does not exist there: fork only between two uses.
    addForkHandlers([] { forkSafeModel->mutex.lock(); }, [] { forkSafeModel->mutex.unlock(); },
                    [] { forkSafeModel->mutex.unlock(); });
    return forkSafeModel;
}

HeadlessView& headless() {
    static HeadlessView* view = new HeadlessView;
    return *view;
}

std::atomic<DialogView*> installedView{nullptr};

DialogView& view() {
    DialogView* v = installedView.load();
    return v != nullptr ? *v : headless();
}

}  // namespace

Model& model() {
    static Model* instance = newModel();  // never destroyed: threads may outlive main
    return *instance;
}

Session::Session() : lock(model().mutex) {}

Session::~Session() {
    if (!notes_.empty() || bumped_) {
        if (lock.owns_lock()) lock.unlock();
        model().changed.notify_all();
        DialogView& v = view();
        for (const Note& note : notes_) {
            switch (note.kind) {
                case NoteKind::Created: v.windowCreated(note.window); break;
                case NoteKind::Changed: v.windowChanged(note.window); break;
                case NoteKind::Destroyed: v.windowDestroyed(note.window); break;
                case NoteKind::BoxShown: v.messageBoxShown(note.box); break;
                case NoteKind::BoxClosed: v.messageBoxClosed(note.box); break;
            }
        }
    }
}

void Session::changed(Window* w) {
    bump();
    if (!w->changeNotified) {
        w->changeNotified = true;
        notes_.push_back({NoteKind::Changed, w, 0});
    }
}

void Session::titleChanged(Window* w, const TitleChange& change) {
    // Told at once, under the lock: a view that reads the window afterwards
    // has been told every change its state counts.
    view().windowTitleChanged(w, change);
}

void Session::created(Window* w) {
    bump();
    notes_.push_back({NoteKind::Created, w, 0});
}

void Session::destroyed(Window* w) {
    bump();
    notes_.push_back({NoteKind::Destroyed, w, 0});
}

void Session::boxShown(MessageBoxId id) {
    bump();
    notes_.push_back({NoteKind::BoxShown, nullptr, id});
}

void Session::boxClosed(MessageBoxId id) {
    bump();
    notes_.push_back({NoteKind::BoxClosed, nullptr, id});
}

void Session::bump() {
    ++model().revision;
    bumped_ = true;
}

bool isWindow(WindowHandle w) {
    if (w == nullptr) return false;
    for (const auto& owned : model().windows)
        if (owned.get() == w) return true;
    return false;
}

bool isLive(WindowHandle w) { return isWindow(w) && w->alive; }

ThreadQueue* queueOf(std::thread::id thread, bool create) {
    Model& m = model();
    auto found = m.queues.find(thread);
    if (found != m.queues.end()) return found->second.get();
    if (!create) return nullptr;
    auto queue = std::make_unique<ThreadQueue>();
    queue->owner = thread;
    ThreadQueue* raw = queue.get();
    m.queues.emplace(thread, std::move(queue));
    return raw;
}

void post(Session& s, Window* w, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    w->queue->messages.push_back({w, message, wParam, lParam});
    w->queue->wake.notify_all();
    raiseWakeSignal(w->queue->signal);
    s.bump();
}

int pixelsX(int units) { return mulDiv(units, model().baseX, 4); }
int pixelsY(int units) { return mulDiv(units, model().baseY, 8); }

Window* inputWindow(WindowHandle w) {
    if (!isLive(w) || !w->visible || w->disableCount > 0) return nullptr;
    return w;
}

Window* createWindow(int templateId, DialogProc procedure, bool modal) {
    const DialogTemplate* source = findDialogTemplate(templateId);
    if (source == nullptr) return nullptr;
    Session s;
    Model& m = model();
    auto window = std::make_unique<Window>();
    Window* w = window.get();
    w->serial = m.nextSerial++;
    w->source = source;
    w->title = source->caption;
    w->procedure = procedure;
    w->thread = std::this_thread::get_id();
    w->queue = queueOf(w->thread, true);
    w->modal = modal;
    w->x = pixelsX(source->x);
    w->y = pixelsY(source->y);
    w->zOrder = m.nextZ++;
    for (const ControlTemplate& ct : source->controls) {
        Control c;
        c.source = &ct;
        c.id = ct.id;
        c.className = ct.className;
        c.kind = ct.kind;
        c.style = ct.style;
        c.enabled = (ct.style & kWsDisabled) == 0;
        // Combo boxes and the IPv4 address control start blank whatever the
        // template says; the others show the template text.
        if (c.kind != ControlKind::ComboBox && c.kind != ControlKind::Ipv4Address) c.text = ct.text;
        if (w->defaultId == 0 && c.kind == ControlKind::Button && (c.style & kBsTypeMask) == kBsDefPushButton)
            w->defaultId = c.id;
        w->controls.push_back(std::move(c));
    }
    // A window opened while the run's error box is up starts disabled too.
    for (const auto& box : m.boxes) {
        if (box->answered || box->owner != nullptr || (box->flags & kMbTaskModal) == 0) continue;
        box->disabled.push_back(w);
        ++w->disableCount;
    }
    m.windows.push_back(std::move(window));
    s.created(w);
    return w;
}

// The first WS_TABSTOP control takes the focus when the procedure returned true.
bool initialise(Window* w) {
    bool focusDefault = true;
    if (w->procedure != nullptr) focusDefault = w->procedure(w, kWmInitDialog, 0, 0);
    Session s;
    if (!w->alive) return false;
    if (focusDefault) {
        for (size_t i = 0; i < w->controls.size(); ++i) {
            const Control& c = w->controls[i];
            if (isTabStop(c.style, c.enabled)) {
                w->focus = static_cast<int>(i);
                break;
            }
        }
    }
    // Logged before anyone can press its buttons, so the log keeps the order.
    logDialogShown(w->source->id, w->title);
    w->visible = true;
    s.changed(w);
    return true;
}

void destroyLocked(Session& s, Window* w) {
    if (!w->alive) return;
    w->alive = false;
    w->visible = false;
    auto& messages = w->queue->messages;
    messages.erase(std::remove_if(messages.begin(), messages.end(), [w](const Message& m) { return m.target == w; }),
                   messages.end());
    w->queue->wake.notify_all();
    s.destroyed(w);
}

void dispatch(const Message& message) {
    Window* w = message.target;
    if (w->thread != std::this_thread::get_id()) {
        std::fprintf(stderr, "dialog manager: a message reached another thread's window\n");
        std::abort();
    }
    bool handled = false;
    if (w->procedure != nullptr) handled = w->procedure(w, message.message, message.wParam, message.lParam);
    if (!handled && message.message == kWmClose) {
        // DefDlgProc: WM_CLOSE becomes IDCANCEL unless the Cancel button is disabled.
        Session s;
        if (!w->alive) return;
        Control* cancel = w->control(kIdCancel);
        if (cancel == nullptr || cancel->enabled) post(s, w, kWmCommand, static_cast<uintptr_t>(kIdCancel), 0);
    }
}

bool pumpOne(WindowHandle filter) {
    Message message;
    {
        Session s;
        ThreadQueue* queue = queueOf(std::this_thread::get_id(), false);
        if (queue == nullptr) return false;
        auto it = std::find_if(queue->messages.begin(), queue->messages.end(),
                               [filter](const Message& m) { return filter == nullptr || m.target == filter; });
        if (it == queue->messages.end()) return false;
        message = *it;
        queue->messages.erase(it);
        if (!message.target->alive) return true;
    }
    dispatch(message);
    return true;
}

}  // namespace orb::dialogs

// ---------------------------------------------------------------------------
// platform/windowing.h: the queue of the calling thread

namespace orb {

using namespace dialogs;

bool pumpOneMessage(WindowHandle window) {
    if (window == nullptr) return pumpOne(nullptr);
    return pumpOne(window);
}

void pumpAllMessages(WindowHandle window) {
    while (pumpOneMessage(window)) {}
}

void waitForInput(WindowHandle window, SocketHandle socket, int, int idleMs) {
    WakeSignal* signal = nullptr;
    if (window != nullptr) {
        Session s;
        ThreadQueue* queue = queueOf(std::this_thread::get_id(), true);
        for (const Message& m : queue->messages)
            if (m.target == window) return;
        signal = queue->signal;
    }
    waitForSocketOrSignal(socket, signal, idleMs);
}

}  // namespace orb

// ---------------------------------------------------------------------------
// dialogs/dialog_view.h: the view, the units and the screen

namespace orb::dialogs {

void installDialogView(DialogView* v) { installedView.store(v); }

}  // namespace orb::dialogs

namespace orb {

int readProgressFrameMs() { return dialogs::installedDialogView()->progressFrameMs(); }

}  // namespace orb

namespace orb::dialogs {

DialogView* installedDialogView() { return &view(); }
DialogView* headlessDialogView() { return &headless(); }

void setDialogBaseUnits(int baseX, int baseY) {
    Session s;
    if (baseX <= 0 || baseY <= 0) return;
    model().baseX = baseX;
    model().baseY = baseY;
    for (const auto& w : model().windows)
        if (w->alive) s.changed(w.get());
}

void readDialogBaseUnits(int* baseX, int* baseY) {
    Session s;
    *baseX = model().baseX;
    *baseY = model().baseY;
}

// Width before height, as GetSystemMetrics' SM_CXSCREEN and SM_CYSCREEN.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
void setScreenSize(int width, int height) {
    Session s;
    model().screenWidth = width;
    model().screenHeight = height;
    s.bump();
}

// The parameters mirror Win32's MulDiv.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
int mulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    long long product = static_cast<long long>(a) * b;
    bool negative = (product < 0) != (c < 0);
    unsigned long long magnitude = static_cast<unsigned long long>(product < 0 ? -product : product);
    unsigned long long divisor = static_cast<unsigned long long>(c < 0 ? -static_cast<long long>(c) : c);
    unsigned long long quotient = (magnitude + divisor / 2) / divisor;  // half away from zero
    long long result = negative ? -static_cast<long long>(quotient) : static_cast<long long>(quotient);
    if (result > 2147483647LL || result < -2147483647LL - 1) return -1;
    return static_cast<int>(result);
}

int dialogUnitsToPixelsX(int units) {
    Session s;
    return pixelsX(units);
}

int dialogUnitsToPixelsY(int units) {
    Session s;
    return pixelsY(units);
}

}  // namespace orb::dialogs
