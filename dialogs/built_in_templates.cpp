// The templates of the embedded resources/dialogs.rc, parsed once.
#include <cstdio>
#include <cstdlib>

#include "dialogs/dialog_templates.h"

namespace orb::dialogs {

extern const char kDialogsRcText[];
extern const unsigned long kDialogsRcSize;

std::string_view builtInResourceText() { return std::string_view(kDialogsRcText, kDialogsRcSize); }

const ResourceScript& builtInResources() {
    static const ResourceScript script = [] {
        ResourceScript parsed;
        std::string error;
        if (!parseResourceScript(builtInResourceText(), &parsed, &error)) {
            // The build checks the same text with the same parser, so this
            // cannot happen in a program that was built.
            std::fprintf(stderr, "dialogs.rc: %s\n", error.c_str());
            std::abort();
        }
        return parsed;
    }();
    return script;
}

const DialogTemplate* findDialogTemplate(int templateId) {
    for (const DialogTemplate& dialog : builtInResources().dialogs)
        if (dialog.id == templateId) return &dialog;
    return nullptr;
}

}  // namespace orb::dialogs
