// Dialog templates as resources/dialogs.rc defines them, and the parser that
// reads that file. The build embeds dialogs.rc into the program (and fails when
// the parser refuses it); the dialog manager parses the embedded text once, at
// its first use.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dialogs/control_kind.h"

namespace orb::dialogs {

struct ControlTemplate {
    std::string text;                         // the template text; empty when the text is an ordinal
    int textOrdinal = -1;                     // e.g. 106 for `CONTROL 106, -1, "Static", SS_ICON, ...`
    int id = 0;                               // -1 for controls that the procedures never address
    std::string className;                    // as written: "Button", "Edit", "Static", "ComboBox", ...
    ControlKind kind = ControlKind::Unknown;  // from the class name and the style
    uint32_t style = 0;                       // with WS_CHILD and WS_VISIBLE, as the resource compiler adds them
    int x = 0, y = 0, width = 0, height = 0;  // dialog units
};

struct DialogTemplate {
    int id = 0;
    int x = 0, y = 0, width = 0, height = 0;  // dialog units
    uint32_t style = 0;
    std::string caption;
    int fontSize = 0;
    std::string fontName;
    uint16_t language = 0;  // LANGID in force for the template (MAKELANGID(primary, sub))
    std::vector<ControlTemplate> controls;
};

struct IconResource {
    int id = 0;
    std::string file;
};

struct ResourceScript {
    std::vector<DialogTemplate> dialogs;
    std::vector<IconResource> icons;
};

// Parses the text of a resource script of the forms that dialogs.rc uses. On
// failure returns false and puts "line N: what" into *error.
bool parseResourceScript(std::string_view text, ResourceScript* script, std::string* error);

// The numeric value of a style, id or language name (WS_*, DS_*, ES_*, BS_*,
// SS_*, CBS_*, PBS_*, IDOK, IDCANCEL, IDC_STATIC, LANG_*, SUBLANG_*), with
// Windows' values. False for an unknown name.
bool lookupResourceName(std::string_view name, int64_t* value);

// The templates of the embedded resources/dialogs.rc; the text is checked at
// build time, so a failure here aborts with a message.
const ResourceScript& builtInResources();
const DialogTemplate* findDialogTemplate(int templateId);
// The embedded text itself.
std::string_view builtInResourceText();

}  // namespace orb::dialogs
