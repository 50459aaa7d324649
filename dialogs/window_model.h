// The dialog manager's model, shared by its own files only: windows and their
// controls, one message queue per thread, open message boxes, and the lock
// (Session) under which every change is made and after which the view is told.
//
// One mutex guards the whole model. No dialog procedure and no view
// notification is ever called while it is held.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/wake_signal.h"
#include "platform/windowing.h"
#include "dialogs/control_kind.h"
#include "dialogs/dialog_templates.h"
#include "dialogs/dialog_view.h"

namespace orb {

namespace dialogs {

inline constexpr uint32_t kWmClose = 0x0010;

struct Control {
    const ControlTemplate* source = nullptr;
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

}  // namespace dialogs

struct Window {
    uint64_t serial = 0;
    const dialogs::DialogTemplate* source = nullptr;
    std::string title;
    std::vector<dialogs::Control> controls;
    DialogProc procedure = nullptr;
    std::thread::id thread;
    dialogs::ThreadQueue* queue = nullptr;
    bool modal = false;
    bool alive = true;
    bool visible = false;
    bool ended = false;
    intptr_t result = 0;
    int disableCount = 0;
    int focus = -1;     // index into controls
    int defaultId = 0;  // DM_GETDEFID: the template's BS_DEFPUSHBUTTON, 0 when none
    int x = 0;          // pixels
    int y = 0;
    uint64_t zOrder = 0;
    bool changeNotified = false;
    uint64_t titleChanges = 0;
    std::string hint;  // setWindowHint

    dialogs::Control* control(int id) {
        for (dialogs::Control& c : controls)
            if (c.id == id) return &c;
        return nullptr;
    }
    int indexOf(int id) const {
        for (size_t i = 0; i < controls.size(); ++i)
            if (controls[i].id == id) return static_cast<int>(i);
        return -1;
    }
};

namespace dialogs {

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
    MessageBoxId id = 0;
    WindowHandle owner = nullptr;
    std::string caption;
    std::string text;
    unsigned flags = 0;
    std::thread::id thread;
    bool answered = false;
    int result = 0;
    std::vector<Window*> disabled;
};

struct Model {
    std::mutex mutex;
    std::condition_variable changed;  // every change; robots and message boxes wait on it
    uint64_t revision = 0;
    std::vector<std::unique_ptr<Window>> windows;  // never freed: handles stay readable
    std::map<std::thread::id, std::unique_ptr<ThreadQueue>> queues;
    std::vector<std::unique_ptr<MessageBoxRecord>> boxes;  // open boxes
    uint64_t nextSerial = 1;
    uint64_t nextZ = 1;
    MessageBoxId nextBox = 1;
    int baseX = 6;
    int baseY = 13;
    int screenWidth = 1024;
    int screenHeight = 768;
};

// The one model of the process; never destroyed (threads may outlive main).
Model& model();

// Holds the model's lock; on leaving, releases it and then tells the view what
// changed.
class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void changed(Window* w);                                  // windowChanged, once until the window is read
    void titleChanged(Window* w, const TitleChange& change);  // windowTitleChanged, every time, at once
    void created(Window* w);
    void destroyed(Window* w);
    void boxShown(MessageBoxId id);
    void boxClosed(MessageBoxId id);
    void bump();  // a change that no notification names

    std::unique_lock<std::mutex> lock;

private:
    enum class NoteKind { Created, Changed, Destroyed, BoxShown, BoxClosed };
    struct Note {
        NoteKind kind;
        Window* window;
        MessageBoxId box;
    };
    std::vector<Note> notes_;
    bool bumped_ = false;
};

// The functions below expect the caller to hold the lock (a Session), except
// where they say otherwise.
bool isWindow(WindowHandle w);
bool isLive(WindowHandle w);
// The queue of `thread`; nullptr when it has none and `create` is false.
ThreadQueue* queueOf(std::thread::id thread, bool create);
void post(Session& s, Window* w, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Dialog units to pixels with the model's base units.
int pixelsX(int units);
int pixelsY(int units);
// Input is taken only by a window that is alive, shown and not disabled;
// nullptr otherwise.
Window* inputWindow(WindowHandle w);

// Without the lock: creates the window from its template (no WM_INITDIALOG).
Window* createWindow(int templateId, DialogProc procedure, bool modal);
// Without the lock: WM_INITDIALOG, the first focus, shown. False when the
// procedure destroyed the window.
bool initialise(Window* w);
void destroyLocked(Session& s, Window* w);
// Without the lock: the window's procedure (and DefDlgProc's WM_CLOSE) on the
// owner thread.
void dispatch(const Message& message);
// Without the lock: takes the first message of the calling thread's queue for
// `filter` (any when nullptr) and dispatches it.
bool pumpOne(WindowHandle filter);

}  // namespace dialogs

}  // namespace orb
