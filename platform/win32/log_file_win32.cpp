#include <windows.h>

#include <string>
#include <vector>

#include "platform/log_file.h"
#include "platform/win32/utf16_win32.h"

namespace orb {

namespace {

// The system's words for an error ("Access is denied"), without the final
// period and line break, and its number for whoever looks it up.
std::string describeError(DWORD error) {
    // Wide, as every text of the program is UTF-8: the system's words are in
    // its language, whatever the ANSI code page.
    wchar_t* words = nullptr;
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&words), 0,
                       nullptr);
    std::string text = length > 0 && words != nullptr ? toUtf8(words, length) : std::string();
    if (words != nullptr) LocalFree(words);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.' || text.back() == ' '))
        text.pop_back();
    std::string number = "Windows error " + std::to_string(error);
    return text.empty() ? number : text + " (" + number + ")";
}

// A security descriptor whose DACL grants the user running the program, and
// nobody else, full access; protected, so that the folder's inherited entries
// (Everyone, Users) do not join it. The log holds the user name, nonces and
// status pages.
class UserOnlyDescriptor {
public:
    UserOnlyDescriptor() {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        user_.resize(size);
        bool haveUser = size > 0 && GetTokenInformation(token, TokenUser, user_.data(), size, &size);
        CloseHandle(token);
        if (!haveUser) return;
        PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
        DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid);
        acl_.resize(aclSize);
        auto* acl = reinterpret_cast<ACL*>(acl_.data());
        ready_ = InitializeAcl(acl, aclSize, ACL_REVISION) &&
                 AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) &&
                 InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
                 SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
                 SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    }
    // Null when the descriptor could not be made: the file is then not created.
    SECURITY_ATTRIBUTES* attributes() {
        if (!ready_) return nullptr;
        attributes_ = {sizeof attributes_, &descriptor_, FALSE};
        return &attributes_;
    }

private:
    std::vector<BYTE> user_;
    std::vector<BYTE> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
    bool ready_ = false;
};

// Symbolic links and junctions name another file, which a planted one would
// make the log overwrite; other reparse points (a file kept in the cloud, a
// deduplicated one) are files of their own.
bool isLinkOrJunction(HANDLE file) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag)) return true;  // unknown: refused
    return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsReparseTagNameSurrogate(tag.ReparseTag);
}

bool sameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION first, second;
    return GetFileInformationByHandle(a, &first) && GetFileInformationByHandle(b, &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber && first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

HANDLE openForAppending(const std::wstring& path, DWORD disposition, DWORD flags, SECURITY_ATTRIBUTES* security) {
    return CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, security, disposition,
                       FILE_ATTRIBUTE_NORMAL | flags, nullptr);
}

}  // namespace

LogFileHandle openLogFile(const char* path, std::string* reason) {
    UserOnlyDescriptor descriptor;
    SECURITY_ATTRIBUTES* security = descriptor.attributes();
    if (security == nullptr) {
        if (reason != nullptr) *reason = "its access rights cannot be set: " + describeError(GetLastError());
        return kNoLogFile;
    }
    const std::wstring widePath = toUtf16(path);  // any letters, whatever the code page
    // A link planted at the path is opened as itself (FILE_FLAG_OPEN_REPARSE_POINT)
    // and refused below, never followed; so are a device ("CON", "NUL") and a pipe.
    // The descriptor applies only to a file made now; an existing one keeps its rights.
    HANDLE file = openForAppending(widePath, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT, security);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        DWORD attributes = GetFileAttributesW(widePath.c_str());
        if (reason != nullptr)
            *reason = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                          ? "it is a directory"
                          : describeError(error);
        return kNoLogFile;
    }
    const char* refusal = nullptr;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileType(file) != FILE_TYPE_DISK)
        refusal = "it is not a regular file";
    else if (GetFileInformationByHandle(file, &information) == 0)
        refusal = "its kind cannot be read";
    else if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        refusal = "it is a directory";
    else if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && isLinkOrJunction(file))
        refusal = "it is a symbolic link or a junction";
    if (refusal != nullptr) {
        CloseHandle(file);
        if (reason != nullptr) *reason = refusal;
        return kNoLogFile;
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // Opened as itself, a file that a filter serves (OneDrive's) may not
        // take writes: opened again through its filter, and kept only when it
        // is still the same file.
        HANDLE served = openForAppending(widePath, OPEN_EXISTING, 0, nullptr);
        bool same = served != INVALID_HANDLE_VALUE && sameFile(file, served);
        DWORD error = GetLastError();
        CloseHandle(file);
        if (!same) {
            if (served != INVALID_HANDLE_VALUE) CloseHandle(served);
            if (reason != nullptr) *reason = served == INVALID_HANDLE_VALUE ? describeError(error) : "it was replaced";
            return kNoLogFile;
        }
        file = served;
    }
    return reinterpret_cast<LogFileHandle>(file);
}

bool writeLogFile(LogFileHandle file, const char* data, size_t size, std::string* reason) {
    if (file == kNoLogFile) return false;
    DWORD written = 0;
    bool wrote = WriteFile(reinterpret_cast<HANDLE>(file), data, static_cast<DWORD>(size), &written, nullptr) != 0;
    if (wrote && written == size) return true;
    if (reason != nullptr) {
        *reason = wrote ? std::string("the write stopped short") : describeError(GetLastError());
        if (written > 0) *reason += " after " + std::to_string(written) + " of " + std::to_string(size) + " bytes";
    }
    return false;
}

void closeLogFile(LogFileHandle file) {
    if (file != kNoLogFile) CloseHandle(reinterpret_cast<HANDLE>(file));
}

}  // namespace orb
