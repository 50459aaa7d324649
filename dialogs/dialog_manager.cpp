// The portable dialog manager: platform/windowing.h for systems other than
// Windows. It behaves like the Win32 dialog manager as far as the program can
// tell: windows from templates, one message queue per thread, procedures called
// only on the thread that created their window, when that thread pumps.
//
// One mutex guards the whole model. No dialog procedure and no view
// notification is ever called while it is held.
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dialogs/dialog_manager_internal.h"
#include "dialogs/dialog_templates.h"
#include "dialogs/dialog_view.h"
#include "dialogs/window_styles.h"
#include "platform/wake_signal.h"
#include "base/diagnostics_log.h"
#include "platform/windowing.h"

namespace orb {

namespace {

constexpr uint32_t kWmClose = 0x0010;
using dialogs::ControlKind;
using dialogs::kBsDefPushButton;
using dialogs::kBsTypeMask;
using dialogs::kEsPassword;
using dialogs::kEsReadOnly;
using dialogs::kWsDisabled;
using dialogs::kWsTabStop;
using dialogs::kWsVisible;

struct Control {
    const dialogs::ControlTemplate* source = nullptr;
    int id = 0;
    std::string className;
    ControlKind kind = ControlKind::Unknown;
    uint32_t style = 0;
    std::string text;
    bool enabled = true;
    int rangeLow = 0;
    int rangeHigh = 100;
    int position = 0;
    std::vector<std::string> items;
    int selection = -1;

    bool isPushButton() const { return dialogs::isPushButton(kind, style); }
    bool isDropDownList() const { return dialogs::isDropDownList(kind, style); }
};

struct ThreadQueue;

}  // namespace

struct Window {
    uint64_t serial = 0;
    const dialogs::DialogTemplate* source = nullptr;
    std::string title;
    std::vector<Control> controls;
    DialogProc procedure = nullptr;
    std::thread::id thread;
    ThreadQueue* queue = nullptr;
    bool modal = false;
    bool alive = true;
    bool visible = false;
    bool ended = false;
    intptr_t result = 0;
    int disableCount = 0;
    int focus = -1;       // index into controls
    int defaultId = 0;    // DM_GETDEFID: the template's BS_DEFPUSHBUTTON, 0 when none
    int x = 0;            // pixels
    int y = 0;
    uint64_t zOrder = 0;
    bool changeNotified = false;
    std::vector<std::string> endedStageTitles;
    std::string hint;     // setWindowHint

    Control* control(int id) {
        for (Control& c : controls)
            if (c.id == id) return &c;
        return nullptr;
    }
    int indexOf(int id) const {
        for (size_t i = 0; i < controls.size(); ++i)
            if (controls[i].id == id) return static_cast<int>(i);
        return -1;
    }
};

namespace {

struct Message {
    Window* target = nullptr;
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

struct ThreadQueue {
    std::thread::id owner;
    std::deque<Message> messages;
    std::condition_variable wake;
    // Ends the owner's waitForInput: a progress loop waiting for a datagram
    // answers Cancel at once.
    WakeSignal* signal = createWakeSignal();
};

struct MessageBoxRecord {
    dialogs::MessageBoxId id = 0;
    WindowHandle owner = nullptr;
    std::string caption;
    std::string text;
    unsigned flags = 0;
    std::thread::id thread;
    bool answered = false;
    int result = 0;
    std::vector<Window*> disabled;
};

class HeadlessView : public dialogs::DialogView {};

struct Model {
    std::mutex mutex;
    std::condition_variable changed;  // every change; robots and message boxes wait on it
    uint64_t revision = 0;
    std::vector<std::unique_ptr<Window>> windows;  // never freed: handles stay readable
    std::map<std::thread::id, std::unique_ptr<ThreadQueue>> queues;
    std::vector<std::unique_ptr<MessageBoxRecord>> boxes;  // open boxes
    uint64_t nextSerial = 1;
    uint64_t nextZ = 1;
    dialogs::MessageBoxId nextBox = 1;
    int baseX = 6;
    int baseY = 13;
    int screenWidth = 1024;
    int screenHeight = 768;
};

Model* forkSafeModel = nullptr;

Model* newModel() {
    forkSafeModel = new Model;
    // A forked child (runInChild, death tests) must not inherit the lock held
    // by a thread that does not exist there: fork only between two uses.
    pthread_atfork([] { forkSafeModel->mutex.lock(); }, [] { forkSafeModel->mutex.unlock(); },
                   [] { forkSafeModel->mutex.unlock(); });
    return forkSafeModel;
}

Model& model() {
    static Model* instance = newModel();  // never destroyed: threads may outlive main
    return *instance;
}

HeadlessView& headless() {
    static HeadlessView* view = new HeadlessView;
    return *view;
}

std::atomic<dialogs::DialogView*> installedView{nullptr};
std::atomic<bool> autoAnswer{false};

dialogs::DialogView& view() {
    dialogs::DialogView* v = installedView.load();
    return v != nullptr ? *v : headless();
}

enum class NoteKind { Created, Changed, Destroyed, BoxShown, BoxClosed };

struct Note {
    NoteKind kind;
    Window* window;
    dialogs::MessageBoxId box;
};

// Holds the model's lock; on leaving, releases it and then tells the view what
// changed.
class Session {
public:
    Session() : lock(model().mutex) {}
    ~Session() {
        if (!notes_.empty() || bumped_) {
            if (lock.owns_lock()) lock.unlock();
            model().changed.notify_all();
            dialogs::DialogView& v = view();
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
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void changed(Window* w) {
        bump();
        if (!w->changeNotified) {
            w->changeNotified = true;
            notes_.push_back({NoteKind::Changed, w, 0});
        }
    }
    void created(Window* w) {
        bump();
        notes_.push_back({NoteKind::Created, w, 0});
    }
    void destroyed(Window* w) {
        bump();
        notes_.push_back({NoteKind::Destroyed, w, 0});
    }
    void boxShown(dialogs::MessageBoxId id) {
        bump();
        notes_.push_back({NoteKind::BoxShown, nullptr, id});
    }
    void boxClosed(dialogs::MessageBoxId id) {
        bump();
        notes_.push_back({NoteKind::BoxClosed, nullptr, id});
    }
    void bump() {
        ++model().revision;
        bumped_ = true;
    }

    std::unique_lock<std::mutex> lock;

private:
    std::vector<Note> notes_;
    bool bumped_ = false;
};

// Caller holds the lock.
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

int pixelsX(int units) { return dialogs::mulDiv(units, model().baseX, 4); }
int pixelsY(int units) { return dialogs::mulDiv(units, model().baseY, 8); }

// Creates the window from its template, without WM_INITDIALOG.
Window* createWindow(int templateId, DialogProc procedure, bool modal) {
    const dialogs::DialogTemplate* source = dialogs::findDialogTemplate(templateId);
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
    for (const dialogs::ControlTemplate& ct : source->controls) {
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
    m.windows.push_back(std::move(window));
    s.created(w);
    return w;
}

std::string escapeForLog(const std::string& text);

// WM_INITDIALOG, then the first WS_TABSTOP control takes the focus when the
// procedure returned true; the window is shown. False when the procedure
// destroyed the window.
bool initialise(Window* w) {
    bool focusDefault = true;
    if (w->procedure != nullptr) focusDefault = w->procedure(w, kWmInitDialog, 0, 0);
    Session s;
    if (!w->alive) return false;
    if (focusDefault) {
        for (size_t i = 0; i < w->controls.size(); ++i) {
            const Control& c = w->controls[i];
            if ((c.style & kWsTabStop) && (c.style & kWsVisible) && c.enabled) {
                w->focus = static_cast<int>(i);
                break;
            }
        }
    }
    // Logged before anyone can press its buttons, so the log keeps the order.
    writeDiagnosticsEntry("dialog shown: " + std::to_string(w->source->id) + " \"" + escapeForLog(w->title) + "\"");
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

// Takes the first message of the calling thread's queue for `filter` (any when
// nullptr) and dispatches it.
bool pumpOne(WindowHandle filter) {
    Message message;
    {
        Session s;
        ThreadQueue* queue = queueOf(std::this_thread::get_id(), false);
        if (queue == nullptr) return false;
        auto it = std::find_if(queue->messages.begin(), queue->messages.end(), [filter](const Message& m) {
            return filter == nullptr || m.target == filter;
        });
        if (it == queue->messages.end()) return false;
        message = *it;
        queue->messages.erase(it);
        if (!message.target->alive) return true;
    }
    dispatch(message);
    return true;
}

// Input is taken only by a window that is alive, shown and not disabled.
Window* inputWindow(WindowHandle w) {
    if (!isLive(w) || !w->visible || w->disableCount > 0) return nullptr;
    return w;
}

std::string escapeForLog(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            default: out += c;
        }
    }
    return out;
}

// Titles of one kind differ only in their digits ("... 512/728196 Bytes").
bool sameTitleKind(const std::string& a, const std::string& b) {
    auto skeleton = [](const std::string& title) {
        std::string out;
        for (char c : title)
            if (c < '0' || c > '9') out += c;
        return out;
    };
    return skeleton(a) == skeleton(b);
}

// Caller holds the lock. Logs a press of button `id` in `w`; `how` names the
// key that pressed it ("" for a click). What a password field holds is about
// to be used: the log masks it from now on. Control texts other than the
// button's caption are never written.
void logPress(const Window* w, int id, const char* how) {
    for (const Control& c : w->controls)
        if (c.kind == ControlKind::Edit && (c.style & kEsPassword) != 0 && !c.text.empty()) addDiagnosticsSecret(c.text);
    if (!diagnosticsLogActive()) return;
    std::string caption;
    for (const Control& c : w->controls)
        if (c.id == id && c.kind == ControlKind::Button) caption = c.text;
    caption.erase(std::remove(caption.begin(), caption.end(), '&'), caption.end());
    std::string line = "button pressed: dialog " + std::to_string(w->source->id) + " \"" + escapeForLog(w->title) +
                       "\", button " + std::to_string(id) + " \"" + escapeForLog(caption) + "\"";
    if (*how != '\0') line += std::string(" (") + how + ")";
    writeDiagnosticsEntry(line);
}

bool validAnswer(unsigned flags, int button) {
    switch (flags & 0xF) {
        case 0: return button == 1;                                 // MB_OK
        case 1: return button == 1 || button == 2;                  // MB_OKCANCEL
        case 2: return button == 3 || button == 4 || button == 5;   // MB_ABORTRETRYIGNORE
        case 3: return button == 6 || button == 7 || button == 2;   // MB_YESNOCANCEL
        case 4: return button == 6 || button == 7;                  // MB_YESNO
        case 5: return button == 4 || button == 2;                  // MB_RETRYCANCEL
        default: return button >= 1 && button <= 11;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// platform/windowing.h

void initCommonControls() {}

intptr_t runModalDialog(InstanceHandle, int templateId, DialogProc procedure) {
    Window* w = createWindow(templateId, procedure, true);
    if (w == nullptr) return -1;
    if (!initialise(w)) return -1;
    Model& m = model();
    for (;;) {
        std::unique_lock<std::mutex> lock(m.mutex);
        if (w->ended || !w->alive) break;
        if (w->queue->messages.empty()) {
            w->queue->wake.wait(lock);
            continue;
        }
        Message message = w->queue->messages.front();
        w->queue->messages.pop_front();
        bool alive = message.target->alive;
        lock.unlock();
        if (alive) dispatch(message);
    }
    intptr_t result;
    {
        Session s;
        result = w->ended ? w->result : 0;
        destroyLocked(s, w);
    }
    return result;
}

WindowHandle createModelessDialog(InstanceHandle, int templateId, DialogProc procedure) {
    Window* w = createWindow(templateId, procedure, false);
    if (w == nullptr) return nullptr;
    if (!initialise(w)) return nullptr;
    return w;
}

void endDialog(WindowHandle window, intptr_t result) {
    Session s;
    if (!isLive(window)) return;
    window->ended = true;
    window->result = result;
    window->visible = false;
    window->queue->wake.notify_all();
    s.changed(window);
}

void destroyWindow(WindowHandle window) {
    Session s;
    // DestroyWindow fails for a window of another thread.
    if (!isLive(window) || window->thread != std::this_thread::get_id()) return;
    destroyLocked(s, window);
}

void setWindowTitle(WindowHandle window, const char* title) {
    Session s;
    if (!isLive(window)) return;
    std::string next = title != nullptr ? title : "";
    if (window->visible && !sameTitleKind(window->title, next)) window->endedStageTitles.push_back(window->title);
    window->title = std::move(next);
    s.changed(window);
}

void setWindowHint(WindowHandle window, const char* text) {
    Session s;
    if (!isLive(window)) return;
    std::string hint = text != nullptr ? text : "";
    if (window->hint == hint) return;
    window->hint = hint;
    s.changed(window);
    writeDiagnosticsEntry("dialog hint: " + std::to_string(window->source->id) + " \"" + escapeForLog(hint) + "\"");
}

void setControlText(WindowHandle window, int controlId, const char* text) {
    Session s;
    if (!isLive(window)) return;
    Control* c = window->control(controlId);
    if (c == nullptr) return;
    if (c->isDropDownList()) return;  // no edit field
    c->text = text != nullptr ? text : "";
    s.changed(window);
}

unsigned readControlText(WindowHandle window, int controlId, char* text, int limit) {
    if (text == nullptr || limit <= 0) return 0;
    text[0] = '\0';
    std::string value;
    {
        Session s;
        if (!isLive(window)) return 0;
        Control* c = window->control(controlId);
        if (c == nullptr) return 0;
        if (c->isDropDownList()) {
            if (c->selection >= 0 && c->selection < static_cast<int>(c->items.size())) value = c->items[c->selection];
        } else if (c->kind == ControlKind::Ipv4Address && c->text.empty()) {
            value = "0.0.0.0";  // four blank fields read as zeros
        } else {
            value = c->text;
        }
    }
    size_t count = std::min(value.size(), static_cast<size_t>(limit - 1));
    value.copy(text, count);
    text[count] = '\0';
    return static_cast<unsigned>(count);
}

void focusControl(WindowHandle window, int controlId) {
    Session s;
    if (!isLive(window)) return;
    int index = window->indexOf(controlId);
    if (index < 0 || !window->controls[index].enabled) return;
    window->focus = index;
    s.changed(window);
}

void addComboEntry(WindowHandle window, int controlId, const char* text) {
    Session s;
    if (!isLive(window)) return;
    Control* c = window->control(controlId);
    if (c == nullptr || c->kind != ControlKind::ComboBox) return;
    c->items.push_back(text != nullptr ? text : "");
    s.changed(window);
}

void selectComboEntry(WindowHandle window, int controlId, int index) {
    Session s;
    if (!isLive(window)) return;
    Control* c = window->control(controlId);
    if (c == nullptr || c->kind != ControlKind::ComboBox) return;
    c->selection = (index >= 0 && index < static_cast<int>(c->items.size())) ? index : -1;
    s.changed(window);
}

int readComboSelection(WindowHandle window, int controlId) {
    Session s;
    if (!isLive(window)) return -1;
    Control* c = window->control(controlId);
    if (c == nullptr || c->kind != ControlKind::ComboBox) return -1;
    return c->selection;
}

static void coercePosition(Control* c) {
    if (c->position < c->rangeLow) c->position = c->rangeLow;
    if (c->position > c->rangeHigh) c->position = c->rangeHigh;
}

void setProgressRange(WindowHandle window, int controlId, int low, int high) {
    Session s;
    if (!isLive(window)) return;
    Control* c = window->control(controlId);
    if (c == nullptr || c->kind != ControlKind::ProgressBar) return;
    // PBM_SETRANGE carries both limits as 16-bit words of lParam.
    c->rangeLow = low & 0xFFFF;
    c->rangeHigh = high & 0xFFFF;
    coercePosition(c);
    s.changed(window);
}

void setProgressPosition(WindowHandle window, int controlId, int position) {
    Session s;
    if (!isLive(window)) return;
    Control* c = window->control(controlId);
    if (c == nullptr || c->kind != ControlKind::ProgressBar) return;
    if (c->position == position) return;
    c->position = position;
    coercePosition(c);
    s.changed(window);
}

int showMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned flags) {
    std::string body = text != nullptr ? text : "";
    std::string title = caption != nullptr ? caption : "Error";
    writeDiagnosticsEntry("message box shown: \"" + escapeForLog(title) + "\" \"" + escapeForLog(body) + "\"");
    if (autoAnswer.load()) {
        std::string line = "[message box] caption=\"" + escapeForLog(title) + "\" text=\"" + escapeForLog(body) + "\"\n";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        writeDiagnosticsEntry("message box answered: \"" + escapeForLog(title) + "\", button 1 (automatically)");
        return kIdOk;
    }
    Model& m = model();
    MessageBoxRecord* box;
    {
        Session s;
        auto record = std::make_unique<MessageBoxRecord>();
        box = record.get();
        box->id = m.nextBox++;
        box->owner = isLive(owner) ? owner : nullptr;
        box->caption = title;
        box->text = body;
        box->flags = flags;
        box->thread = std::this_thread::get_id();
        if (box->owner != nullptr) {
            box->disabled.push_back(box->owner);  // a box with an owner disables its owner
        } else if (flags & kMbTaskModal) {
            for (const auto& w : m.windows)  // every top-level window of the calling thread
                if (w->alive && w->thread == box->thread) box->disabled.push_back(w.get());
        }
        for (Window* w : box->disabled) {
            ++w->disableCount;
            s.changed(w);
        }
        m.boxes.push_back(std::move(record));
        s.boxShown(box->id);
    }
    int result;
    {
        Session s;
        m.changed.wait(s.lock, [box] { return box->answered; });
        result = box->result;
        for (Window* w : box->disabled) {
            --w->disableCount;
            s.changed(w);
        }
        dialogs::MessageBoxId id = box->id;
        m.boxes.erase(std::find_if(m.boxes.begin(), m.boxes.end(), [box](const auto& b) { return b.get() == box; }));
        s.boxClosed(id);
    }
    writeDiagnosticsEntry("message box answered: \"" + escapeForLog(title) + "\", button " + std::to_string(result));
    return result;
}

bool readWindowRect(WindowHandle window, WindowRect* rect) {
    Session s;
    if (!isLive(window) || rect == nullptr) return false;
    rect->left = window->x;
    rect->top = window->y;
    rect->right = window->x + pixelsX(window->source->width);
    rect->bottom = window->y + pixelsY(window->source->height);
    return true;
}

int readScreenWidth() {
    Session s;
    return model().screenWidth;
}

int readScreenHeight() {
    Session s;
    return model().screenHeight;
}

void moveWindowToTop(WindowHandle window, int x, int y) {
    Session s;
    if (!isLive(window)) return;
    window->x = x;
    window->y = y;
    window->zOrder = model().nextZ++;
    s.changed(window);
}

bool pumpOneMessage(WindowHandle window) {
    if (window == nullptr) return pumpOne(nullptr);
    return pumpOne(window);
}

void pumpAllMessages(WindowHandle window) {
    while (pumpOneMessage(window)) {
    }
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

// ---------------------------------------------------------------------------
// dialogs/dialog_view.h

namespace dialogs {

void setMessageBoxAutoAnswer(bool on) { autoAnswer.store(on); }
bool messageBoxAutoAnswer() { return autoAnswer.load(); }

void installDialogView(DialogView* v) { installedView.store(v); }
DialogView* installedDialogView() { return &view(); }
DialogView* headlessDialogView() { return &headless(); }

std::vector<WindowHandle> listWindows() {
    Session s;
    std::vector<WindowHandle> list;
    for (const auto& w : model().windows)
        if (w->alive) list.push_back(w.get());
    return list;
}

bool readWindowState(WindowHandle window, WindowState* state) {
    Session s;
    if (!isWindow(window)) return false;
    window->changeNotified = false;
    WindowState out;
    out.handle = window;
    out.templateId = window->source->id;
    out.title = window->title;
    out.modal = window->modal;
    out.visible = window->visible;
    out.alive = window->alive;
    out.enabled = window->disableCount == 0;
    out.x = window->x;
    out.y = window->y;
    out.width = pixelsX(window->source->width);
    out.height = pixelsY(window->source->height);
    out.zOrder = window->zOrder;
    out.thread = window->thread;
    out.endedStageTitles = window->endedStageTitles;
    out.hint = window->hint;
    // The push button that Enter would press: a focused push button, else the default one.
    int enterId = window->defaultId;
    if (window->focus >= 0 && window->controls[window->focus].isPushButton()) enterId = window->controls[window->focus].id;
    for (size_t i = 0; i < window->controls.size(); ++i) {
        const Control& c = window->controls[i];
        ControlState cs;
        cs.id = c.id;
        cs.className = c.className;
        cs.kind = c.kind;
        cs.style = c.style;
        cs.text = c.text;
        cs.iconOrdinal = c.source->textOrdinal;
        cs.x = pixelsX(c.source->x);
        cs.y = pixelsY(c.source->y);
        cs.width = pixelsX(c.source->width);
        cs.height = pixelsY(c.source->height);
        cs.enabled = c.enabled;
        cs.focused = window->focus == static_cast<int>(i);
        cs.isDefault = window->modal && c.isPushButton() && c.id == enterId;
        cs.rangeLow = c.rangeLow;
        cs.rangeHigh = c.rangeHigh;
        cs.position = c.position;
        cs.items = c.items;
        cs.selection = c.selection;
        if (c.isDropDownList())
            cs.text = (c.selection >= 0 && c.selection < static_cast<int>(c.items.size())) ? c.items[c.selection] : "";
        out.controls.push_back(std::move(cs));
    }
    *state = std::move(out);
    return true;
}

std::vector<MessageBoxState> listMessageBoxes() {
    Session s;
    std::vector<MessageBoxState> list;
    for (const auto& b : model().boxes) {
        if (b->answered) continue;
        list.push_back({b->id, b->owner, b->caption, b->text, b->flags, b->thread});
    }
    return list;
}

uint64_t modelRevision() {
    Session s;
    return model().revision;
}

bool waitForModelChange(uint64_t seen, int timeoutMs) {
    Session s;
    return model().changed.wait_for(s.lock, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
                                    [seen] { return model().revision != seen; });
}

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

void setScreenSize(int width, int height) {
    Session s;
    model().screenWidth = width;
    model().screenHeight = height;
    s.bump();
}

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

namespace input {

// Each press is logged before its message is posted, so that whatever the
// press leads to comes after it in the log.
bool pressButton(WindowHandle window, int controlId) {
    Session s;
    Window* w = inputWindow(window);
    if (w == nullptr) return false;
    int index = w->indexOf(controlId);
    if (index < 0) return false;
    Control& c = w->controls[index];
    if (c.kind != ControlKind::Button || !c.enabled) return false;
    if (c.isPushButton()) w->focus = index;
    s.changed(w);
    logPress(w, controlId, "");
    post(s, w, kWmCommand, static_cast<uintptr_t>(controlId & 0xFFFF), 0);  // BN_CLICKED in the high word
    return true;
}

bool pressEnter(WindowHandle window) {
    Session s;
    Window* w = inputWindow(window);
    if (w == nullptr || !w->modal) return false;  // the modeless pumps do no dialog keyboard handling
    int pressed = kIdOk;
    if (w->focus >= 0 && w->controls[w->focus].isPushButton()) {
        pressed = w->controls[w->focus].id;
    } else if (w->defaultId != 0) {
        Control* c = w->control(w->defaultId);
        if (c != nullptr && !c->enabled) return false;
        pressed = w->defaultId;
    }
    logPress(w, pressed, "Enter");
    post(s, w, kWmCommand, static_cast<uintptr_t>(pressed & 0xFFFF), 0);
    return true;
}

bool pressEscape(WindowHandle window) {
    Session s;
    Window* w = inputWindow(window);
    if (w == nullptr || !w->modal) return false;
    Control* cancel = w->control(kIdCancel);
    if (cancel != nullptr && !cancel->enabled) return false;
    logPress(w, kIdCancel, "Escape");
    post(s, w, kWmCommand, static_cast<uintptr_t>(kIdCancel), 0);
    return true;
}

bool pressCloseBox(WindowHandle window) {
    Session s;
    Window* w = inputWindow(window);
    if (w == nullptr) return false;
    writeDiagnosticsEntry("close box pressed: dialog " + std::to_string(w->source->id) + " \"" +
                          escapeForLog(w->title) + "\"");
    post(s, w, kWmClose, 0, 0);
    return true;
}

bool typeText(WindowHandle window, int controlId, const std::string& text) {
    Session s;
    Window* w = inputWindow(window);
    if (w == nullptr) return false;
    int index = w->indexOf(controlId);
    if (index < 0) return false;
    Control& c = w->controls[index];
    if (!c.enabled) return false;
    bool typeable = (c.kind == ControlKind::Edit && !(c.style & kEsReadOnly)) || c.kind == ControlKind::Ipv4Address ||
                    (c.kind == ControlKind::ComboBox && !c.isDropDownList());
    if (!typeable) return false;
    c.text = text;
    w->focus = index;
    s.changed(w);
    return true;
}

bool selectComboEntry(WindowHandle window, int controlId, int index) {
    Session s;
    Window* w = inputWindow(window);
    if (w == nullptr) return false;
    int controlIndex = w->indexOf(controlId);
    if (controlIndex < 0) return false;
    Control& c = w->controls[controlIndex];
    if (c.kind != ControlKind::ComboBox || !c.enabled) return false;
    if (index < 0 || index >= static_cast<int>(c.items.size())) return false;
    c.selection = index;
    w->focus = controlIndex;
    s.changed(w);
    return true;
}

bool focusControl(WindowHandle window, int controlId) {
    Session s;
    Window* w = inputWindow(window);
    if (w == nullptr) return false;
    int index = w->indexOf(controlId);
    if (index < 0) return false;
    const Control& c = w->controls[index];
    if (!c.enabled || c.kind == ControlKind::Static || c.kind == ControlKind::Icon || c.kind == ControlKind::ProgressBar)
        return false;
    w->focus = index;
    s.changed(w);
    return true;
}

bool answerMessageBox(MessageBoxId box, int button) {
    Session s;
    for (const auto& b : model().boxes) {
        if (b->id != box) continue;
        if (b->answered || !validAnswer(b->flags, button)) return false;
        b->answered = true;
        b->result = button;
        s.bump();
        return true;
    }
    return false;
}

}  // namespace input

}  // namespace dialogs

}  // namespace orb
