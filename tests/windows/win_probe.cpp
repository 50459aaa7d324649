// A small Windows tool for the smoke test under Wine: it looks at the windows of
// another program as the system sees them.
//
//   win_probe text TITLE CONTROL_ID     prints the control's text
//   win_probe center TITLE CONTROL_ID   prints the control's centre on the screen, "x y"
//   win_probe dacl FILE                 prints the file's access list as read back:
//                                       "user SID" (who runs the probe), "protected
//                                       yes|no", then "allow|deny SID MASK" per entry
//   win_probe stop-events PROGRAM       as a stranger would: sets every stop event of a
//                                       running PROGRAM (orb-upgrade.com) that it can
//                                       open by a name it could guess; prints how many
//
// Exit code 1 when the window, the control or the file does not exist.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/windows/access_list.h"

namespace {

int printAccessList(const char* path) {
    std::string user = orb::test::currentUserSid();
    if (user.empty()) return 1;
    std::printf("user %s\n", user.c_str());
    orb::test::AccessList list = orb::test::readAccessList(path);
    if (!list.readable) return 1;
    std::printf("protected %s\n", list.isProtected ? "yes" : "no");
    if (!list.present) std::printf("no access list: everyone has every right\n");
    for (const std::string& entry : list.entries) std::printf("%s\n", entry.c_str());
    return 0;
}

// The names that a batch once gave its runs' stop events: its process id and
// the run's number.
int setGuessableStopEvents(const char* program) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 1;
    int set = 0;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (_stricmp(entry.szExeFile, program) != 0) continue;
        for (int run = 1; run <= 64; ++run) {
            std::string name = "orb-upgrade-stop-" + std::to_string(entry.th32ProcessID) + "-" + std::to_string(run);
            HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str());
            if (event == nullptr) continue;
            set += SetEvent(event) ? 1 : 0;
            CloseHandle(event);
        }
    }
    CloseHandle(snapshot);
    std::printf("%d\n", set);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "dacl") == 0) return printAccessList(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "stop-events") == 0) return setGuessableStopEvents(argv[2]);
    if (argc != 4) {
        std::fprintf(stderr, "usage: win_probe text|center TITLE CONTROL_ID | win_probe dacl FILE\n");
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
