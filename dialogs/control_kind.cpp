#include "dialogs/control_kind.h"

#include <cctype>
#include <cstring>

#include "dialogs/window_styles.h"

namespace orb::dialogs {

ControlKind controlKindOf(const std::string& className, uint32_t style) {
    if (isClass(className, "Button")) return ControlKind::Button;
    if (isClass(className, "Edit")) return ControlKind::Edit;
    if (isClass(className, "Static")) return (style & kSsTypeMask) == kSsIcon ? ControlKind::Icon : ControlKind::Static;
    if (isClass(className, "ComboBox")) return ControlKind::ComboBox;
    if (isClass(className, "msctls_progress32")) return ControlKind::ProgressBar;
    if (isClass(className, "SysIPAddress32")) return ControlKind::Ipv4Address;
    return ControlKind::Unknown;
}

bool isClass(const std::string& className, const char* wanted) {
    size_t length = std::strlen(wanted);
    if (className.size() != length) return false;
    for (size_t i = 0; i < length; ++i)
        if (std::tolower(static_cast<unsigned char>(className[i])) !=
            std::tolower(static_cast<unsigned char>(wanted[i])))
            return false;
    return true;
}

bool isPushButton(ControlKind kind, uint32_t style) {
    uint32_t type = style & kBsTypeMask;
    return kind == ControlKind::Button && (type == kBsPushButton || type == kBsDefPushButton);
}

std::string selectedEntry(const std::vector<std::string>& items, int selection) {
    return selection >= 0 && selection < static_cast<int>(items.size()) ? items[static_cast<size_t>(selection)]
                                                                        : std::string();
}

bool isTextField(ControlKind kind, uint32_t style) {
    return (kind == ControlKind::Edit && (style & kEsReadOnly) == 0) || kind == ControlKind::Ipv4Address;
}

bool isPasswordField(ControlKind kind, uint32_t style) {
    return kind == ControlKind::Edit && (style & kEsPassword) != 0;
}

bool isReadOnlyText(ControlKind kind, uint32_t style) {
    return kind == ControlKind::Edit && (style & kEsReadOnly) != 0;
}

bool takesFocus(ControlKind kind) {
    return kind != ControlKind::Static && kind != ControlKind::Icon && kind != ControlKind::ProgressBar;
}

bool isTabStop(uint32_t style, bool enabled) {
    return (style & kWsTabStop) != 0 && (style & kWsVisible) != 0 && enabled;
}

bool isDropDownList(ControlKind kind, uint32_t style) {
    return kind == ControlKind::ComboBox && (style & kCbsTypeMask) == kCbsDropDownList;
}

}  // namespace orb::dialogs
