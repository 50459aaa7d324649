// UTF-8 to UTF-16 and back, for the wide calls of platform/win32/. Only
// platform/win32/ includes this.
#pragma once

#include <windows.h>

#include <string>

namespace orb {

// Invalid UTF-8 becomes U+FFFD, as the system converts it.
inline std::wstring toUtf16(const std::string& text) {
    if (text.empty()) return {};
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

inline std::string toUtf8(const wchar_t* text, size_t length) {
    if (length == 0) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), narrow.data(), size, nullptr, nullptr);
    return narrow;
}

inline std::string toUtf8(const std::wstring& text) { return toUtf8(text.data(), text.size()); }

}  // namespace orb
