#include "tests/windows/access_list.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>

namespace orb::test {
namespace {

std::string sidText(PSID sid) {
    char* text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text)) return "?";
    std::string out = text;
    LocalFree(text);
    return out;
}

std::string entryText(void* ace) {
    auto* header = static_cast<ACE_HEADER*>(ace);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE)
        return "other " + std::to_string(header->AceType);
    auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);  // the same layout for both
    char mask[16];
    std::snprintf(mask, sizeof mask, "0x%08lx", static_cast<unsigned long>(entry->Mask));
    return std::string(header->AceType == ACCESS_ALLOWED_ACE_TYPE ? "allow " : "deny ") + sidText(&entry->SidStart) +
           " " + mask;
}

}  // namespace

std::string currentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
    char user[256];
    DWORD size = 0;
    bool ok = GetTokenInformation(token, TokenUser, user, sizeof user, &size);
    CloseHandle(token);
    return ok ? sidText(reinterpret_cast<TOKEN_USER*>(user)->User.Sid) : "";
}

AccessList readAccessList(const std::string& path) {
    AccessList list;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &descriptor) != ERROR_SUCCESS)
        return list;
    list.readable = true;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    list.isProtected = (control & SE_DACL_PROTECTED) != 0;
    list.present = dacl != nullptr;
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (GetAce(dacl, i, &ace)) list.entries.push_back(entryText(ace));
    }
    LocalFree(descriptor);
    return list;
}

}  // namespace orb::test
