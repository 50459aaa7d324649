// A small Windows tool for the smoke test under Wine: it looks at the windows of
// another program as the system sees them.
//
//   win_probe text TITLE CONTROL_ID     prints the control's text
//   win_probe center TITLE CONTROL_ID   prints the control's centre on the screen, "x y"
//   win_probe dacl FILE                 prints the file's access list as read back:
//                                       "user SID" (who runs the probe), "protected
//                                       yes|no", then "allow|deny SID MASK" per entry
//
// Exit code 1 when the window, the control or the file does not exist.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string sidText(PSID sid) {
    char* text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text)) return "?";
    std::string out = text;
    LocalFree(text);
    return out;
}

int printAccessList(const char* path) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return 1;
    char user[256];
    DWORD size = 0;
    bool haveUser = GetTokenInformation(token, TokenUser, user, sizeof user, &size);
    CloseHandle(token);
    if (!haveUser) return 1;
    std::printf("user %s\n", sidText(reinterpret_cast<TOKEN_USER*>(user)->User.Sid).c_str());
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &descriptor) != ERROR_SUCCESS)
        return 1;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    std::printf("protected %s\n", (control & SE_DACL_PROTECTED) != 0 ? "yes" : "no");
    if (dacl == nullptr) std::printf("no access list: everyone has every right\n");
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) continue;
        auto* header = static_cast<ACE_HEADER*>(ace);
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
            auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);  // the same layout for both
            std::printf("%s %s 0x%08lx\n", header->AceType == ACCESS_ALLOWED_ACE_TYPE ? "allow" : "deny",
                        sidText(&allowed->SidStart).c_str(), static_cast<unsigned long>(allowed->Mask));
        } else {
            std::printf("other %u\n", static_cast<unsigned>(header->AceType));
        }
    }
    LocalFree(descriptor);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "dacl") == 0) return printAccessList(argv[2]);
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
