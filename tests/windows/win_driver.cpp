// Works another program's dialogs under Wine as a person would, through window
// messages: finds each dialog by its title, types into its fields, picks combo
// entries, presses buttons and reads texts back. The steps come as arguments
// and run in order; the first failing step ends the driver with exit code 1.
//
//   wait:TITLE[:CONTROL]     waits for a visible top-level window with this title
//                            (a trailing * matches any rest) that has the control
//   gone                     waits until the current window has closed
//   expect:CONTROL:TEXT      the control's text must equal TEXT
//   print:CONTROL:NAME       prints "NAME=text" for the caller to check
//   title:NAME               prints "NAME=title of the current window"
//   settext:CONTROL:TEXT     types TEXT into an edit field (WM_SETTEXT)
//   address:CONTROL:A.B.C.D  fills an IP address control (IPM_SETADDRESS)
//   combo:CONTROL:TEXT       selects the combo entry TEXT as a click would
//   click:CONTROL            presses the button (BM_CLICK)
//   key:enter|escape         the key, as the keyboard sends it to the control that
//                            has the focus in the current window (WM_KEYDOWN, WM_KEYUP)
//   closebox                 the current window's close box (WM_SYSCOMMAND SC_CLOSE)
//   boxtext:TEXT             the current message box must show TEXT
//   shot:NAME                prints "shot NAME left top right bottom" and waits
//                            until the caller has made SHOTDIR\NAME.png
//   sleep:MS
//
// Options before the steps: --shots=WINDOWS_DIR, --timeout-ms=MS (per wait).
// Every step is printed with the milliseconds since the driver started.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

DWORD started = 0;
DWORD waitLimitMs = 150000;
std::string shotDir;
HWND current = nullptr;

void report(const char* format, const std::string& a, const std::string& b = "") {
    std::printf("[%6lu ms] ", GetTickCount() - started);
    std::printf(format, a.c_str(), b.c_str());
    std::printf("\n");
    std::fflush(stdout);
}

[[noreturn]] void failStep(const std::string& step, const std::string& why) {
    report("FAILED %s: %s", step, why);
    std::exit(1);
}

// "verb:rest": verbs that take a control split the rest at its first colon; a
// wait's title may end in ":CONTROL"; the other verbs take the rest whole.
std::vector<std::string> splitStep(const std::string& step) {
    size_t colon = step.find(':');
    if (colon == std::string::npos) return {step};
    std::string verb = step.substr(0, colon), rest = step.substr(colon + 1);
    if (verb == "expect" || verb == "print" || verb == "settext" || verb == "address" || verb == "combo") {
        size_t second = rest.find(':');
        if (second == std::string::npos) return {verb, rest};
        return {verb, rest.substr(0, second), rest.substr(second + 1)};
    }
    size_t last = rest.rfind(':');
    if (verb == "wait" && last != std::string::npos && last + 1 < rest.size() &&
        rest.find_first_not_of("0123456789", last + 1) == std::string::npos) {
        return {verb, rest.substr(0, last), rest.substr(last + 1)};
    }
    return {verb, rest};
}

// WM_GETTEXT itself: GetWindowText does not ask a window of another process
// for its text.
std::string readText(HWND window) {
    static char text[8192];
    text[0] = '\0';
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

bool titleMatches(const std::string& title, const std::string& pattern) {
    if (!pattern.empty() && pattern.back() == '*') return title.rfind(pattern.substr(0, pattern.size() - 1), 0) == 0;
    return title == pattern;
}

struct Search {
    std::string pattern;
    int control;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM raw) {
    auto* search = reinterpret_cast<Search*>(raw);
    if (!IsWindowVisible(window)) return TRUE;
    char title[512];
    if (GetWindowTextA(window, title, sizeof title) <= 0) return TRUE;
    if (!titleMatches(title, search->pattern)) return TRUE;
    if (search->control != 0 && GetDlgItem(window, search->control) == nullptr) return TRUE;
    search->found = window;
    return FALSE;
}

HWND control(const std::string& step, const std::string& id) {
    if (current == nullptr || !IsWindow(current)) failStep(step, "no current window");
    HWND item = GetDlgItem(current, std::atoi(id.c_str()));
    if (item == nullptr) failStep(step, "no control " + id);
    return item;
}

void waitForWindow(const std::string& step, const std::string& pattern, int controlId) {
    DWORD begin = GetTickCount();
    for (;;) {
        Search search{pattern, controlId, nullptr};
        EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            current = search.found;
            // A dialog fills its fields in WM_INITDIALOG before it is shown; a
            // moment more lets it paint before anything reads or draws it.
            Sleep(200);
            report("found \"%s\"", readText(current));
            return;
        }
        if (GetTickCount() - begin > waitLimitMs) failStep(step, "no window titled \"" + pattern + "\"");
        Sleep(20);
    }
}

void waitUntilGone(const std::string& step) {
    DWORD begin = GetTickCount();
    while (current != nullptr && IsWindow(current) && IsWindowVisible(current)) {
        if (GetTickCount() - begin > waitLimitMs) failStep(step, "the window stays open");
        Sleep(20);
    }
    report("closed%s", "");
}

void selectComboEntry(const std::string& step, HWND combo, const std::string& text) {
    LRESULT index =
        SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str()));
    if (index == CB_ERR) failStep(step, "no entry \"" + text + "\"");
    // What a click on the entry does: select it, then tell the dialog.
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    PostMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    LRESULT selected = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    if (selected != index) failStep(step, "the selection did not take");
}

BOOL CALLBACK collectStaticText(HWND child, LPARAM raw) {
    char className[64];
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Static") == 0) *reinterpret_cast<std::string*>(raw) += readText(child) + "\n";
    return TRUE;
}

// The step comes first in every step of the driver, for failStep.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
void takeShot(const std::string& step, const std::string& name) {
    if (shotDir.empty()) return;
    if (current == nullptr || !IsWindow(current)) failStep(step, "no current window");
    // A window that has just appeared may not be drawn yet.
    Sleep(500);
    RECT rect;
    GetWindowRect(current, &rect);
    // An older picture of the same name must not pass for the new one.
    std::string done = shotDir + "\\" + name + ".png";
    DeleteFileA(done.c_str());
    std::printf("shot %s %ld %ld %ld %ld\n", name.c_str(), rect.left, rect.top, rect.right, rect.bottom);
    std::fflush(stdout);
    DWORD begin = GetTickCount();
    while (GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - begin > 20000) failStep(step, "no screenshot " + done);
        Sleep(50);
    }
}

void runStep(const std::string& step) {
    std::vector<std::string> f = splitStep(step);
    const std::string& verb = f[0];
    if (verb == "wait") {
        waitForWindow(step, f.size() > 1 ? f[1] : "", f.size() > 2 ? std::atoi(f[2].c_str()) : 0);
    } else if (verb == "gone") {
        waitUntilGone(step);
    } else if (verb == "expect" && f.size() == 3) {
        std::string text = readText(control(step, f[1]));
        if (text != f[2]) failStep(step, "reads \"" + text + "\"");
        report("control %s reads \"%s\"", f[1], text);
    } else if (verb == "print" && f.size() == 3) {
        std::string text = readText(control(step, f[1]));
        std::printf("%s=%s\n", f[2].c_str(), text.c_str());
        std::fflush(stdout);
    } else if (verb == "title" && f.size() == 2) {
        std::printf("%s=%s\n", f[1].c_str(), readText(current).c_str());
        std::fflush(stdout);
    } else if (verb == "settext" && f.size() == 3) {
        SendMessageA(control(step, f[1]), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(f[2].c_str()));
        report("typed into %s", f[1]);
    } else if (verb == "address" && f.size() == 3) {
        unsigned a, b, c, d;
        if (std::sscanf(f[2].c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4) failStep(step, "bad address");
        HWND field = control(step, f[1]);
        SendMessageA(field, IPM_SETADDRESS, 0, MAKEIPADDRESS(a, b, c, d));
        // Read back as the program reads it: IPM_GETADDRESS would want a
        // pointer into the other process.
        std::string back = readText(field);
        if (back != f[2]) failStep(step, "the field reads \"" + back + "\"");
        report("address %s", f[2]);
    } else if (verb == "combo" && f.size() == 3) {
        selectComboEntry(step, control(step, f[1]), f[2]);
        report("combo entry %s", f[2]);
    } else if (verb == "click" && f.size() == 2) {
        // Posted: a button whose handler opens a message box would hold a
        // sent message until the box closes.
        PostMessageA(control(step, f[1]), BM_CLICK, 0, 0);
        report("clicked %s", f[1]);
    } else if (verb == "key" && f.size() == 2 && (f[1] == "enter" || f[1] == "escape")) {
        if (current == nullptr || !IsWindow(current)) failStep(step, "no current window");
        GUITHREADINFO focus{};
        focus.cbSize = sizeof focus;
        HWND target = GetGUIThreadInfo(GetWindowThreadProcessId(current, nullptr), &focus) && focus.hwndFocus != nullptr
                          ? focus.hwndFocus
                          : current;
        WPARAM key = f[1] == "enter" ? VK_RETURN : VK_ESCAPE;
        PostMessageA(target, WM_KEYDOWN, key, 1);
        PostMessageA(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
        report("key %s", f[1]);
    } else if (verb == "closebox" && f.size() == 1) {
        if (current == nullptr || !IsWindow(current)) failStep(step, "no current window");
        PostMessageA(current, WM_SYSCOMMAND, SC_CLOSE, 0);
        report("close box%s", "");
    } else if (verb == "boxtext" && f.size() == 2) {
        if (current == nullptr || !IsWindow(current)) failStep(step, "no current window");
        std::string texts;
        EnumChildWindows(current, collectStaticText, reinterpret_cast<LPARAM>(&texts));
        if (texts.find(f[1] + "\n") == std::string::npos) failStep(step, "the box shows \"" + texts + "\"");
        report("box reads \"%s\"", f[1]);
    } else if (verb == "shot" && f.size() == 2) {
        takeShot(step, f[1]);
    } else if (verb == "sleep" && f.size() == 2) {
        Sleep(static_cast<DWORD>(std::atoi(f[1].c_str())));
    } else {
        failStep(step, "unknown step");
    }
}

}  // namespace

int main(int argc, char** argv) {
    started = GetTickCount();
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument.rfind("--shots=", 0) == 0) {
            shotDir = argument.substr(8);
        } else if (argument.rfind("--timeout-ms=", 0) == 0) {
            waitLimitMs = static_cast<DWORD>(std::atol(argument.c_str() + 13));
        } else {
            runStep(argument);
        }
    }
    report("all steps done%s", "");
    return 0;
}
