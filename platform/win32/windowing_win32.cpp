// The windowing operations as the USER32 and COMCTL32 calls themselves.
#include <windows.h>
#include <commctrl.h>

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
};

DialogRecord* recordFor(DialogProc procedure, int templateId) { return new DialogRecord{procedure, templateId}; }

std::string readTitle(HWND hwnd) {
    char title[256] = {};
    GetWindowTextA(hwnd, title, sizeof title);
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
void logButtonPress(HWND hwnd, const DialogRecord* record, WPARAM wParam) {
    int id = LOWORD(wParam);
    if (HIWORD(wParam) != BN_CLICKED) return;
    HWND button = GetDlgItem(hwnd, id);
    char className[16] = {};
    if (button != nullptr) GetClassNameA(button, className, sizeof className);
    if (lstrcmpiA(className, "Button") != 0 && id != IDOK && id != IDCANCEL) return;
    EnumChildWindows(hwnd, reportPasswordField, 0);
    char caption[128] = {};
    if (button != nullptr) GetWindowTextA(button, caption, sizeof caption);
    eventLog->buttonPressed(record->templateId, readTitle(hwnd).c_str(), id, caption);
}

// Dialog procedures have a portable signature; this one stands between them and
// the dialog manager. The record arrives as the creation parameter and is kept
// in the window's user data.
INT_PTR CALLBACK dispatchToProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrA(hwnd, GWLP_USERDATA, lParam);
    auto* record = reinterpret_cast<DialogRecord*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (record == nullptr) return FALSE;
    if (message == WM_COMMAND && eventLog != nullptr) logButtonPress(hwnd, record, wParam);
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

// The Windows program's dialogs stay as their templates make them.
void setWindowHint(WindowHandle, const char*) {}

int showMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned flags) {
    if (owner != nullptr) applyHeldUpdates(toHwnd(owner), true);
    if (eventLog != nullptr) eventLog->messageBoxShown(caption, text);
    int result = MessageBoxA(toHwnd(owner), text, caption, flags);
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
// in such waits, as the program always has. An arrival that cuts one short
// counts none, so a flood of datagrams cannot shorten an interval.
int readProgressFrameMs() { return 0; }

void waitForInput(WindowHandle, SocketHandle socket, int stepMs, int) {
    if (!waitReadable(socket, stepMs)) countCompletedWait();
}

}  // namespace orb
