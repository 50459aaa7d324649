// How views meet the portable dialog manager.
//
// The dialog manager (platform/windowing.h, implemented in dialogs/)
// keeps the model: windows, their controls, open message boxes. A view renders
// that model and feeds the user's actions back through orb::dialogs::input.
//
// Rules for views:
// - Notifications (DialogView's member functions) arrive on whatever thread
//   changed the model, possibly on several threads at once, never with the
//   model's lock held. They are hints: a view records that something changed
//   and later reads the state with readWindowState / listMessageBoxes.
//   Notifications must return quickly and must not block on the thread that is
//   rendering (the progress loops change the model up to a thousand times a
//   second from their own threads).
// - windowChanged is coalesced at the source: after it has been sent for a
//   window, it is not sent again for that window until somebody reads the
//   window with readWindowState. A view that redraws a few dozen times a second
//   at most thus gets a few dozen notifications a second at most.
// - A view never calls a dialog procedure. User actions go through
//   orb::dialogs::input, which posts WM_COMMAND messages to the thread that owns
//   the window; the procedure runs when that thread pumps.
// - Windows that are not yet visible (being created, WM_INITDIALOG running) or
//   no longer alive are not drawn.
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/windowing.h"
#include "dialogs/control_kind.h"
#include "dialogs/dialog_input.h"  // what views call for the user's actions

namespace orb::dialogs {

struct ControlState {
    int id = 0;
    std::string className;                    // as in the template: "Button", "Edit", "Static", "ComboBox",
                                              // "msctls_progress32", "SysIPAddress32"
    ControlKind kind = ControlKind::Unknown;  // what the class name and the style make it
    uint32_t style = 0;                       // Windows' style bits, WS_CHILD and WS_VISIBLE included
    std::string text;                         // current text (password fields hold the real text; views mask it)
    int iconOrdinal = -1;                     // SS_ICON statics: the icon resource id (106)
    int x = 0, y = 0, width = 0, height = 0;  // pixels, relative to the window's client area
    bool enabled = true;
    bool focused = false;
    bool isDefault = false;  // the push button that Enter presses now (modal dialogs)
    // msctls_progress32
    int rangeLow = 0, rangeHigh = 100, position = 0;
    // ComboBox: entries in append order, selected index or -1
    std::vector<std::string> items;
    int selection = -1;

    // The rules of dialogs/control_kind.h, as every view asks them.
    bool isPushButton() const { return dialogs::isPushButton(kind, style); }
    bool isTextField() const { return dialogs::isTextField(kind, style); }
    bool isPasswordField() const { return dialogs::isPasswordField(kind, style); }
    bool isReadOnlyText() const { return dialogs::isReadOnlyText(kind, style); }
    bool takesFocus() const { return dialogs::takesFocus(kind); }
};

struct WindowState {
    WindowHandle handle = nullptr;
    int templateId = 0;
    std::string title;
    bool modal = false;                       // runModalDialog (Escape and Enter work) or modeless
    bool visible = false;                     // initialised and shown, not yet ended
    bool alive = false;                       // not destroyed
    bool enabled = true;                      // false while a message box disables it: input is refused
    int x = 0, y = 0, width = 0, height = 0;  // pixels; the model has a client area only
    uint64_t zOrder = 0;                      // larger is nearer the top
    std::thread::id thread;                   // the thread that created the window and runs its procedure
    std::vector<ControlState> controls;       // template order (= tab order)
    uint64_t titleChanges = 0;                // setWindowTitle calls so far (TitleChange::number of the last)
    std::string hint;                         // setWindowHint: shown below the dialog's own area; "" for none

    // The first control with that id, as GetDlgItem finds it; nullptr when none.
    const ControlState* control(int id) const {
        for (const ControlState& c : controls)
            if (c.id == id) return &c;
        return nullptr;
    }
};

struct MessageBoxState {
    MessageBoxId id = 0;
    WindowHandle owner = nullptr;
    std::string caption;
    std::string text;
    unsigned flags = 0;
    std::thread::id thread;  // the thread blocked in showMessageBox
};

// A window's title as setWindowTitle changed it.
struct TitleChange {
    std::string previous;
    std::string title;
    bool shown = false;   // the window was visible, its title could be seen
    uint64_t number = 0;  // the window's title changes so far, this one included (WindowState::titleChanges)
};

class DialogView {
public:
    virtual ~DialogView() = default;
    virtual void windowCreated(WindowHandle /*window*/) {}
    virtual void windowChanged(WindowHandle /*window*/) {}
    virtual void windowDestroyed(WindowHandle /*window*/) {}
    // Every change of a title, never coalesced (a view that draws a few times
    // a second may never read a title that lasted less), before the
    // windowChanged it comes with. Unlike the others it is called with the
    // model's lock held, so that a state read afterwards never counts a change
    // not yet told: record it and return; never call the model from here.
    virtual void windowTitleChanged(WindowHandle /*window*/, const TitleChange& /*change*/) {}
    virtual void messageBoxShown(MessageBoxId /*box*/) {}
    virtual void messageBoxClosed(MessageBoxId /*box*/) {}
    // The shortest time between two bar positions this view can show
    // (readProgressFrameMs): 0 for a view that draws every change it can.
    virtual int progressFrameMs() const { return 0; }
};

// Installs the view that receives notifications; nullptr installs the headless
// view (the default), which renders nothing. Call at program start, before the
// first window opens; the view must outlive every window.
void installDialogView(DialogView* view);
DialogView* installedDialogView();
DialogView* headlessDialogView();

// Tab and Shift+Tab (`backwards`): the control that the focus moves to from
// `fromId`, the next tab stop (isTabStop) after it in `order` (control ids;
// the template order when empty), round to the start. From a control that is
// not in the order: the first tab stop (the last when backwards). 0 when the
// window has none.
int nextFocus(const WindowState& window, int fromId, bool backwards, const std::vector<int>& order = {});

// Reading the model. listWindows gives the live windows in creation order.
std::vector<WindowHandle> listWindows();
// False when the handle is not a window of the model. Destroyed windows stay
// readable (alive = false). Re-arms windowChanged for this window.
bool readWindowState(WindowHandle window, WindowState* state);
// Open message boxes, oldest first.
std::vector<MessageBoxState> listMessageBoxes();

// Every change of the model increases the revision. waitForModelChange returns
// true as soon as the revision differs from `seen`, false after timeoutMs.
uint64_t modelRevision();
bool waitForModelChange(uint64_t seen, int timeoutMs);

// Dialog base units (default 6 x 13, "MS Sans Serif" 8 pt at 96 dpi) and the
// screen size (default 1024 x 768). Views set them to their real values before
// the first window opens.
void setDialogBaseUnits(int baseX, int baseY);
void readDialogBaseUnits(int* baseX, int* baseY);
void setScreenSize(int width, int height);

// Windows' MulDiv: a * b / c rounded half away from zero (-1 when c is 0).
int mulDiv(int a, int b, int c);
// Dialog units to pixels with the current base units.
int dialogUnitsToPixelsX(int units);
int dialogUnitsToPixelsY(int units);

}  // namespace orb::dialogs
