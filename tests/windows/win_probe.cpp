// A small Windows tool for the smoke test under Wine: it looks at the windows of
// another program as the system sees them.
//
//   win_probe text TITLE CONTROL_ID     prints the control's text
//   win_probe center TITLE CONTROL_ID   prints the control's centre on the screen, "x y"
//
// Exit code 1 when the window or the control does not exist.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: win_probe text|center TITLE CONTROL_ID\n");
        return 2;
    }
    HWND window = FindWindowA(nullptr, argv[2]);
    if (window == nullptr) return 1;
    HWND control = GetDlgItem(window, std::atoi(argv[3]));
    if (control == nullptr) return 1;
    if (std::strcmp(argv[1], "text") == 0) {
        static char text[8192];
        // WM_GETTEXT itself: GetWindowText does not ask a control of another
        // process for its text.
        SendMessageA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
        std::printf("%s\n", text);
        return 0;
    }
    RECT rect;
    if (!GetWindowRect(control, &rect)) return 1;
    std::printf("%ld %ld\n", (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    return 0;
}
