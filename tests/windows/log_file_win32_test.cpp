// The diagnostics log's file on Windows: a new one is the user's alone (a
// protected access list with one entry), and a path that cannot be a log is
// refused with the reason in words.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "platform/log_file.h"
#include "tests/windows/access_list.h"

namespace orb {
namespace {

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
    const std::string user = test::currentUserSid();
    ASSERT_FALSE(user.empty());
    std::vector<std::string> expected = {"allow " + user + " 0x001f01ff"};
    if (underWine()) expected.insert(expected.begin(), "allow S-1-5-18 0x001f01ff");
    test::AccessList list = test::readAccessList(path);
    ASSERT_TRUE(list.readable);
    EXPECT_EQ(list.isProtected, !underWine());
    EXPECT_EQ(list.entries, expected);

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
