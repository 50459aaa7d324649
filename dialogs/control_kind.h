// What a control is, resolved once from its class name (and, for statics, its
// style) when a template is parsed, so that the manager and the views switch
// on a kind instead of comparing class names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orb::dialogs {

enum class ControlKind {
    Unknown,      // a class that neither the manager nor the views know
    Button,       // "Button"
    Edit,         // "Edit"
    Static,       // "Static" showing text
    Icon,         // "Static" with SS_ICON
    ComboBox,     // "ComboBox"
    ProgressBar,  // "msctls_progress32"
    Ipv4Address,  // "SysIPAddress32"
};

// The kind of a control of class `className` with style bits `style`.
ControlKind controlKindOf(const std::string& className, uint32_t style);

// Class-name test, case-insensitive as Windows compares them.
bool isClass(const std::string& className, const char* wanted);

// A button that presses (BS_PUSHBUTTON or BS_DEFPUSHBUTTON), not a check box.
bool isPushButton(ControlKind kind, uint32_t style);
// A combo box without an edit field: its text is the selected entry.
bool isDropDownList(ControlKind kind, uint32_t style);
// The text of a drop-down list: its selected entry, "" while none is.
std::string selectedEntry(const std::vector<std::string>& items, int selection);
// An edit field that takes typing, or an IPv4 address control: a field whose
// text the user writes (a combo box is a list, not a text field).
bool isTextField(ControlKind kind, uint32_t style);
// An edit field with ES_PASSWORD: views mask it, the log keeps it secret.
bool isPasswordField(ControlKind kind, uint32_t style);
// An edit field with ES_READONLY: shown as text on the dialog's own colour.
bool isReadOnlyText(ControlKind kind, uint32_t style);
// What a click or Tab can move the focus to: not a text, an icon or a bar.
bool takesFocus(ControlKind kind);
// Where Tab stops, as the Windows dialog manager decides it: WS_TABSTOP, shown
// (WS_VISIBLE) and enabled. The first focus of a dialog follows it too.
bool isTabStop(uint32_t style, bool enabled);

}  // namespace orb::dialogs
