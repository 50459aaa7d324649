// The windowing operations that the dialog procedures and the progress loops
// use. On Windows each one is the USER32 call of the same purpose; elsewhere the
// portable dialog manager (dialogs/) provides them with the same ids,
// results and order of effects.
#pragma once

#include <cstdint>

#include "platform/instance.h"
#include "platform/sockets.h"

namespace orb {

struct Window;
using WindowHandle = Window*;

// Message numbers and parameters as the Windows dialog manager defines them.
inline constexpr uint32_t kWmInitDialog = 0x0110;
inline constexpr uint32_t kWmCommand = 0x0111;
// The answers of a message box (and the ids of a dialog's OK and Cancel).
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

inline constexpr unsigned kMbOk = 0x0000;
inline constexpr unsigned kMbTaskModal = 0x2000;

// A dialog procedure: true when it handled the message.
using DialogProc = bool (*)(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);

struct WindowRect {
    int left;
    int top;
    int right;
    int bottom;
};

// InitCommonControlsEx for the progress bar and IPv4 address classes; nothing
// to do outside Windows.
void initCommonControls();

// DialogBoxParamA: no owner; returns the value given to endDialog, or -1 when the
// dialog cannot be created.
intptr_t runModalDialog(InstanceHandle instance, int templateId, DialogProc procedure);
// CreateDialogParamA then ShowWindow(SW_SHOWNORMAL): no owner; nullptr on failure.
WindowHandle createModelessDialog(InstanceHandle instance, int templateId, DialogProc procedure);
void endDialog(WindowHandle window, intptr_t result);
void destroyWindow(WindowHandle window);

void setWindowTitle(WindowHandle window, const char* title);
// GetWindowTextA: the title as shown, cut to size - 1 characters.
void readWindowTitle(WindowHandle window, char* title, int size);
void setControlText(WindowHandle window, int controlId, const char* text);
// GetDlgItemTextA: the limit counts the terminating NUL; returns the characters
// copied.
unsigned readControlText(WindowHandle window, int controlId, char* text, int limit);
void focusControl(WindowHandle window, int controlId);

// CB_ADDSTRING, CB_SETCURSEL, CB_GETCURSEL (-1 when nothing is selected).
void addComboEntry(WindowHandle window, int controlId, const char* text);
void selectComboEntry(WindowHandle window, int controlId, int index);
int readComboSelection(WindowHandle window, int controlId);

// PBM_SETRANGE (16-bit limits) and PBM_SETPOS.
void setProgressRange(WindowHandle window, int controlId, int low, int high);
void setProgressPosition(WindowHandle window, int controlId, int position);

// Not a USER32 call: a line of text that the views show below the dialog's
// own area (the template's controls keep their places; the window grows below
// them). nullptr or "" takes it away. The Windows program shows it in a static
// control of id kWindowHintControlId that it adds below the template's area.
inline constexpr int kWindowHintControlId = 1099;
void setWindowHint(WindowHandle window, const char* text);

// MessageBoxA. A task-modal box without owner (the run's error box) disables
// the calling thread's top-level windows while it is up, as Windows does, and
// also every other window of the process, including those opened meanwhile:
// they take no input until it is closed. Returns the button pressed (kIdOk).
int showMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned flags);

// GetWindowRect, GetSystemMetrics(SM_CXSCREEN / SM_CYSCREEN), and SetWindowPos
// with HWND_TOP and SWP_NOSIZE.
bool readWindowRect(WindowHandle window, WindowRect* rect);
int readScreenWidth();
int readScreenHeight();
void moveWindowToTop(WindowHandle window, int x, int y);

// PeekMessageA(PM_REMOVE) for this window on the calling thread, then
// TranslateMessage and DispatchMessageA. No dialog keyboard handling.
bool pumpOneMessage(WindowHandle window);
void pumpAllMessages(WindowHandle window);

// The wait of a progress loop. It returns when a datagram is waiting on
// `socket` (kInvalidSocket: none) or, with the portable dialog manager, when a
// message for `window` (nullptr: none) is queued on the calling thread;
// otherwise after `idleMs` there. On Windows no message ends a wait, so the
// loops poll as they always have: one wait of `stepMs` through the socket
// table's waitReadable (a plain sleep without a socket), which counts a tick
// when it runs to its end. It may return sooner; the loops count the ticks
// that passed from readWaitTicks.
void waitForInput(WindowHandle window, SocketHandle socket, int stepMs, int idleMs);

// How seldom a progress loop with nothing else to do may move its bar: the
// portable dialog manager asks its view (one that shows no bar lets the loops
// sleep five seconds at a time); 0 means as often as the loop likes. The Windows
// program's loops keep their own waits and never ask.
int readProgressFrameMs();

}  // namespace orb
