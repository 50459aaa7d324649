// The diagnostics log's file on Windows: a new one is the user's alone (a
// protected access list with one entry), and a path that cannot be a log is
// refused with the reason in words.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "platform/log_file.h"

namespace orb {
namespace {

std::string sidText(PSID sid) {
    char* text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text)) return "?";
    std::string out = text;
    LocalFree(text);
    return out;
}

std::string currentUser() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
    char user[256];
    DWORD size = 0;
    bool ok = GetTokenInformation(token, TokenUser, user, sizeof user, &size);
    CloseHandle(token);
    return ok ? sidText(reinterpret_cast<TOKEN_USER*>(user)->User.Sid) : "";
}

// "protected" or "inherits", then "allow SID MASK" per entry, as read back.
std::vector<std::string> accessList(const std::string& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &descriptor) != ERROR_SUCCESS)
        return {"unreadable"};
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    std::vector<std::string> out = {(control & SE_DACL_PROTECTED) != 0 ? "protected" : "inherits"};
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        char mask[16];
        std::snprintf(mask, sizeof mask, "0x%08lx", static_cast<unsigned long>(allowed->Mask));
        out.push_back(std::string(allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE ? "allow " : "other ") +
                      sidText(&allowed->SidStart) + " " + mask);
    }
    LocalFree(descriptor);
    return out;
}

class LogFileWin32 : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[MAX_PATH];
        GetTempPathA(sizeof folder, folder);
        folder_ = std::string(folder) + "orb-log-file-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder_.c_str(), nullptr);
    }
    void TearDown() override {
        DeleteFileA((folder_ + "\\new.log").c_str());
        RemoveDirectoryA((folder_ + "\\a-folder").c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    std::string folder_;
};

// Wine keeps a file's rights as its Unix mode bits: it reads back no protected
// flag, and adds an entry for the system account to every file it describes.
bool underWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

TEST_F(LogFileWin32, ANewFileGrantsTheUserAloneAndInheritsNothing) {
    const std::string path = folder_ + "\\new.log";
    std::string reason;
    LogFileHandle file = openLogFile(path.c_str(), &reason);
    ASSERT_NE(file, kNoLogFile) << reason;
    EXPECT_TRUE(writeLogFile(file, "entry\n", 6));
    closeLogFile(file);
    const std::string user = currentUser();
    ASSERT_FALSE(user.empty());
    std::vector<std::string> expected = {"protected", "allow " + user + " 0x001f01ff"};
    if (underWine()) expected = {"inherits", "allow S-1-5-18 0x001f01ff", "allow " + user + " 0x001f01ff"};
    EXPECT_EQ(accessList(path), expected);

    // Opened again, it is appended to, and its rights stay as they are.
    file = openLogFile(path.c_str(), &reason);
    ASSERT_NE(file, kNoLogFile) << reason;
    EXPECT_TRUE(writeLogFile(file, "more\n", 5));
    closeLogFile(file);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.nFileSizeLow, 11u);
}

// The reasons are the system's words with the number, never the number alone.
TEST_F(LogFileWin32, APathThatCannotBeALogIsRefusedInWords) {
    const std::string directory = folder_ + "\\a-folder";
    ASSERT_TRUE(CreateDirectoryA(directory.c_str(), nullptr));
    std::string reason;
    EXPECT_EQ(openLogFile(directory.c_str(), &reason), kNoLogFile);
    EXPECT_EQ(reason, "it is a directory");

    EXPECT_EQ(openLogFile((folder_ + "\\missing\\x.log").c_str(), &reason), kNoLogFile);
    EXPECT_NE(reason.find("(Windows error 3)"), std::string::npos) << reason;
    EXPECT_GT(reason.find("(Windows error"), 0u) << "no words before the number: " << reason;
}

}  // namespace
}  // namespace orb
