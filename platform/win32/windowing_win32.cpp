// The windowing operations as the USER32 and COMCTL32 calls themselves.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <string>

#include "platform/win32/wait_ticks_win32.h"
#include "platform/win32/window_updates_win32.h"
#include "platform/window_events.h"
#include "platform/windowing.h"

namespace orb {

static_assert(kWmInitDialog == WM_INITDIALOG && kWmCommand == WM_COMMAND);
static_assert(kIdOk == IDOK && kIdCancel == IDCANCEL && kIdAbort == IDABORT && kIdRetry == IDRETRY &&
              kIdIgnore == IDIGNORE && kIdYes == IDYES && kIdNo == IDNO);
static_assert(kMbOk == MB_OK && kMbTaskModal == MB_TASKMODAL);

namespace {

HWND toHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }
WindowHandle toWindow(HWND hwnd) { return reinterpret_cast<WindowHandle>(hwnd); }

const WindowEventLog* eventLog = nullptr;

// What a dialog's window keeps in its user data: its procedure, and its
// template id for the log. Never freed: a run opens a handful of dialogs.
struct DialogRecord {
    DialogProc procedure;
    int templateId;
    bool disabledByRunBox = false;  // touched only by the window's own thread
    // The close box was pressed: the IDCANCEL that the dialog manager posts
    // for it is no button press of the user's.
    bool closeBoxPending = false;
};

DialogRecord* recordFor(DialogProc procedure, int templateId) { return new DialogRecord{procedure, templateId}; }

// The run's error box (task-modal, no owner) disables the windows of its own
// thread; the run's other windows, on other threads, disable themselves while
// it is up: each is told by a posted message (EnableWindow from another thread
// would wait on that thread) and checks again at every message it gets, so a
// window opened meanwhile starts disabled. A press that came before it was
// disabled goes nowhere either.
std::atomic<int> runBoxesUp{0};
std::atomic<DWORD> runBoxThread{0};  // its own windows are the box's to disable
constexpr UINT kWmRunBoxChanged = WM_APP + 1;

void followRunBox(HWND hwnd, DialogRecord* record) {
    bool up = runBoxesUp.load() > 0 && runBoxThread.load() != GetCurrentThreadId();
    if (up && !record->disabledByRunBox && IsWindowEnabled(hwnd)) {
        record->disabledByRunBox = true;
        EnableWindow(hwnd, FALSE);
    } else if (!up && record->disabledByRunBox) {
        record->disabledByRunBox = false;
        EnableWindow(hwnd, TRUE);
    }
}

BOOL CALLBACK tellOtherThreadsDialog(HWND hwnd, LPARAM) {
    DWORD process = 0;
    DWORD thread = GetWindowThreadProcessId(hwnd, &process);
    char className[16] = {};
    GetClassNameA(hwnd, className, sizeof className);
    if (process == GetCurrentProcessId() && thread != GetCurrentThreadId() && lstrcmpA(className, "#32770") == 0)
        PostMessageA(hwnd, kWmRunBoxChanged, 0, 0);
    return TRUE;
}

// The key of the message that this thread's modal loop is handling now:
// "Enter" or "Escape" while the dialog manager turns one into a button press,
// else "". Noted by a message filter hook, which the modal loops of dialogs
// and message boxes call for every message before the dialog manager sees it.
thread_local const char* keyInHand = "";
thread_local HHOOK keyHook = nullptr;

const char* dialogKeyOf(const MSG& message) {
    if (message.message == WM_KEYDOWN || message.message == WM_CHAR) {
        if (message.wParam == VK_RETURN) return "Enter";
        if (message.wParam == VK_ESCAPE) return "Escape";
    }
    return "";
}

LRESULT CALLBACK noteDialogKey(int code, WPARAM wParam, LPARAM lParam) {
    if (code == MSGF_DIALOGBOX) keyInHand = dialogKeyOf(*reinterpret_cast<const MSG*>(lParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Once per thread that runs a modal dialog while the log is on; the hook goes
// with the thread.
void watchDialogKeys() {
    if (keyHook == nullptr) keyHook = SetWindowsHookExA(WH_MSGFILTER, noteDialogKey, nullptr, GetCurrentThreadId());
}

std::string readTitle(HWND hwnd) {
    std::string title(static_cast<size_t>(GetWindowTextLengthA(hwnd)) + 1, '\0');
    title.resize(static_cast<size_t>(GetWindowTextA(hwnd, title.data(), static_cast<int>(title.size()))));
    return title;
}

BOOL CALLBACK reportPasswordField(HWND control, LPARAM) {
    char className[16] = {};
    GetClassNameA(control, className, sizeof className);
    if (lstrcmpiA(className, "Edit") != 0 || (GetWindowLongA(control, GWL_STYLE) & ES_PASSWORD) == 0) return TRUE;
    char text[256] = {};
    GetWindowTextA(control, text, sizeof text);
    if (text[0] != '\0') eventLog->passwordUsed(text);
    return TRUE;
}

// A button press (BN_CLICKED, or IDOK and IDCANCEL from Enter and Escape),
// logged before the procedure acts on it, so that whatever it leads to comes
// after it in the log. A password typed in the dialog is about to be used.
void logButtonPress(HWND hwnd, DialogRecord* record, WPARAM wParam) {
    int id = LOWORD(wParam);
    if (HIWORD(wParam) != BN_CLICKED) return;
    if (id == IDCANCEL && record->closeBoxPending) {
        record->closeBoxPending = false;
        return;
    }
    const char* how = keyInHand;
    keyInHand = "";
    HWND button = GetDlgItem(hwnd, id);
    char className[16] = {};
    if (button != nullptr) GetClassNameA(button, className, sizeof className);
    if (lstrcmpiA(className, "Button") != 0 && id != IDOK && id != IDCANCEL) return;
    EnumChildWindows(hwnd, reportPasswordField, 0);
    char caption[128] = {};
    if (button != nullptr) GetWindowTextA(button, caption, sizeof caption);
    eventLog->buttonPressed(record->templateId, readTitle(hwnd).c_str(), id, caption, how);
}

// The close box (or Alt+F4): logged as the Linux views log it. Unless the
// dialog's Cancel button is disabled, the dialog manager posts IDCANCEL for it.
void logCloseBox(HWND hwnd, DialogRecord* record) {
    eventLog->closeBoxPressed(record->templateId, readTitle(hwnd).c_str());
    HWND cancel = GetDlgItem(hwnd, IDCANCEL);
    record->closeBoxPending = cancel == nullptr || IsWindowEnabled(cancel);
}

// Dialog procedures have a portable signature; this one stands between them and
// the dialog manager. The record arrives as the creation parameter and is kept
// in the window's user data.
INT_PTR CALLBACK dispatchToProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrA(hwnd, GWLP_USERDATA, lParam);
    auto* record = reinterpret_cast<DialogRecord*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (record == nullptr) return FALSE;
    if (message == kWmRunBoxChanged || runBoxesUp.load() > 0 || record->disabledByRunBox) followRunBox(hwnd, record);
    if (message == kWmRunBoxChanged) return TRUE;
    if (message == WM_COMMAND && record->disabledByRunBox && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL))
        return TRUE;
    if (message == WM_COMMAND && eventLog != nullptr) logButtonPress(hwnd, record, wParam);
    if (message == WM_CLOSE && eventLog != nullptr) logCloseBox(hwnd, record);
    bool handled = record->procedure(toWindow(hwnd), message, wParam, message == WM_INITDIALOG ? 0 : lParam);
    // The title is the one its procedure gave it.
    if (message == WM_INITDIALOG && eventLog != nullptr)
        eventLog->dialogShown(record->templateId, readTitle(hwnd).c_str());
    return handled ? TRUE : FALSE;
}

}  // namespace

void initCommonControls() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_INTERNET_CLASSES};
    InitCommonControlsEx(&controls);
}

intptr_t runModalDialog(InstanceHandle instance, int templateId, DialogProc procedure) {
    if (eventLog != nullptr) watchDialogKeys();
    return DialogBoxParamA(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEA(templateId), nullptr, dispatchToProcedure,
                           reinterpret_cast<LPARAM>(recordFor(procedure, templateId)));
}

WindowHandle createModelessDialog(InstanceHandle instance, int templateId, DialogProc procedure) {
    HWND hwnd = CreateDialogParamA(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEA(templateId), nullptr,
                                   dispatchToProcedure, reinterpret_cast<LPARAM>(recordFor(procedure, templateId)));
    if (hwnd != nullptr) ShowWindow(hwnd, SW_SHOWNORMAL);
    return toWindow(hwnd);
}

void endDialog(WindowHandle window, intptr_t result) {
    forgetHeldUpdates(toHwnd(window));
    EndDialog(toHwnd(window), result);
}

void destroyWindow(WindowHandle window) {
    forgetHeldUpdates(toHwnd(window));
    DestroyWindow(toHwnd(window));
}

void setWindowTitle(WindowHandle window, const char* title) { setTitleCoalesced(toHwnd(window), title); }

void readWindowTitle(WindowHandle window, char* title, int size) {
    applyHeldUpdates(toHwnd(window), true);
    if (size > 0) title[0] = '\0';
    GetWindowTextA(toHwnd(window), title, size);
}

void setControlText(WindowHandle window, int controlId, const char* text) {
    applyHeldUpdates(toHwnd(window), true);
    SetDlgItemTextA(toHwnd(window), controlId, text);
}

unsigned readControlText(WindowHandle window, int controlId, char* text, int limit) {
    return GetDlgItemTextA(toHwnd(window), controlId, text, limit);
}

void focusControl(WindowHandle window, int controlId) {
    applyHeldUpdates(toHwnd(window), true);
    SetFocus(GetDlgItem(toHwnd(window), controlId));
}

void addComboEntry(WindowHandle window, int controlId, const char* text) {
    SendDlgItemMessageA(toHwnd(window), controlId, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

void selectComboEntry(WindowHandle window, int controlId, int index) {
    SendDlgItemMessageA(toHwnd(window), controlId, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int readComboSelection(WindowHandle window, int controlId) {
    return static_cast<int>(SendDlgItemMessageA(toHwnd(window), controlId, CB_GETCURSEL, 0, 0));
}

void setProgressRange(WindowHandle window, int controlId, int low, int high) {
    applyHeldUpdates(toHwnd(window), true);
    SendDlgItemMessageA(toHwnd(window), controlId, PBM_SETRANGE, 0, MAKELPARAM(low, high));
}

void setProgressPosition(WindowHandle window, int controlId, int position) {
    setBarPositionCoalesced(toHwnd(window), controlId, position);
}

// The hint goes below the template's area, as wide as the window's client
// area less the template's usual margins: the window grows by the text's height
// (wrapped in the dialog's font) and a margin.
void setWindowHint(WindowHandle window, const char* text) {
    HWND hwnd = toHwnd(window);
    if (!IsWindow(hwnd)) return;
    applyHeldUpdates(hwnd, true);
    std::string hint = text != nullptr ? text : "";
    HWND control = GetDlgItem(hwnd, kWindowHintControlId);
    if (control == nullptr ? hint.empty() : readTitle(control) == hint) return;
    RECT margin{0, 0, 7, 4};
    MapDialogRect(hwnd, &margin);
    RECT client;
    GetClientRect(hwnd, &client);
    const int width = client.right - 2 * margin.right;
    int oldHeight = 0;  // of the hint's band, its bottom margin included
    if (control != nullptr) {
        RECT shown;
        GetWindowRect(control, &shown);
        oldHeight = shown.bottom - shown.top + margin.bottom;
    }
    const int top = client.bottom - oldHeight;
    int textHeight = 0;
    if (!hint.empty()) {
        HDC dc = GetDC(hwnd);
        HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(hwnd, WM_GETFONT, 0, 0)));
        RECT measured{0, 0, width, 0};
        DrawTextA(dc, hint.c_str(), -1, &measured, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        SelectObject(dc, previous);
        ReleaseDC(hwnd, dc);
        textHeight = measured.bottom;
    }
    const int newHeight = hint.empty() ? 0 : textHeight + margin.bottom;
    RECT outer;
    GetWindowRect(hwnd, &outer);
    SetWindowPos(hwnd, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top + newHeight - oldHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (hint.empty()) {
        DestroyWindow(control);
    } else if (control == nullptr) {
        control = CreateWindowExA(0, "STATIC", hint.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                                  margin.right, top, width, textHeight, hwnd,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kWindowHintControlId)),
                                  reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd, GWLP_HINSTANCE)), nullptr);
        SendMessageA(control, WM_SETFONT, SendMessageA(hwnd, WM_GETFONT, 0, 0), TRUE);
    } else {
        SetWindowTextA(control, hint.c_str());
        MoveWindow(control, margin.right, top, width, textHeight, TRUE);
    }
    auto* record = reinterpret_cast<DialogRecord*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (eventLog != nullptr && record != nullptr) eventLog->hintShown(record->templateId, hint.c_str());
}

int showMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned flags) {
    if (owner != nullptr) applyHeldUpdates(toHwnd(owner), true);
    if (eventLog != nullptr) eventLog->messageBoxShown(caption, text);
    bool runBox = owner == nullptr && (flags & MB_TASKMODAL) != 0;
    if (runBox) {
        runBoxThread.store(GetCurrentThreadId());
        runBoxesUp.fetch_add(1);
        EnumWindows(tellOtherThreadsDialog, 0);
    }
    int result = MessageBoxA(toHwnd(owner), text, caption, flags);
    if (runBox) {
        runBoxesUp.fetch_sub(1);
        EnumWindows(tellOtherThreadsDialog, 0);
    }
    if (eventLog != nullptr) eventLog->messageBoxAnswered(caption, result);
    return result;
}

void setWindowEventLog(const WindowEventLog* log) { eventLog = log; }

bool readWindowRect(WindowHandle window, WindowRect* rect) {
    RECT r;
    if (!GetWindowRect(toHwnd(window), &r)) return false;
    *rect = {r.left, r.top, r.right, r.bottom};
    return true;
}

int readScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }
int readScreenHeight() { return GetSystemMetrics(SM_CYSCREEN); }

void moveWindowToTop(WindowHandle window, int x, int y) {
    applyHeldUpdates(toHwnd(window), true);
    SetWindowPos(toHwnd(window), HWND_TOP, x, y, 0, 0, SWP_NOSIZE);
}

bool pumpOneMessage(WindowHandle window) {
    applyHeldUpdates(toHwnd(window), false);
    MSG message;
    if (!PeekMessageA(&message, toHwnd(window), 0, 0, PM_REMOVE)) return false;
    TranslateMessage(&message);
    DispatchMessageA(&message);
    return true;
}

void pumpAllMessages(WindowHandle window) {
    while (pumpOneMessage(window)) {}
}

// A 1 ms wait lasts one period of the system timer (about 15.6 ms unless
// something raised its resolution); the loops' intervals and bars are counted
// in such waits, as the program always has. A wait that an arrival cuts short
// counts the time it took (wait_ticks_win32.h), so datagrams neither shorten
// an interval nor stretch it.
int readProgressFrameMs() { return 0; }

// While arrivals keep cutting the waits short, the time between two waits
// (handling a datagram, or the thread waiting for a CPU) counts as well: on a
// loaded machine that time can outweigh the waits themselves, and left out it
// would stretch an interval that a stream of datagrams keeps busy.
void waitForInput(WindowHandle, SocketHandle socket, int stepMs, int) {
    thread_local uint64_t lastCutShortEnd = 0;  // 0: the last wait ran to its end
    uint64_t start = readWaitClock();
    bool arrived = waitReadable(socket, stepMs);
    uint64_t end = readWaitClock();
    uint64_t from = lastCutShortEnd != 0 && lastCutShortEnd <= start ? lastCutShortEnd : start;
    countWait(stepMs, !arrived, end - (arrived ? from : start));
    lastCutShortEnd = arrived ? end : 0;
}

}  // namespace orb
