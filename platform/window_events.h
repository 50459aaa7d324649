// What the Windows program's dialog manager tells the diagnostics log: the
// dialogs shown, the buttons pressed (and the key that pressed one: "Enter",
// "Escape", or "" for a click), the close box, a window's hint, the message
// boxes and their answers, and the text of a password field about to be used
// (so that the log can mask it). The portable dialog manager writes these lines itself. Until a log is
// set nothing is reported.
#pragma once

namespace orb {

struct WindowEventLog {
    void (*dialogShown)(int templateId, const char* title);
    void (*buttonPressed)(int templateId, const char* title, int buttonId, const char* caption, const char* how);
    void (*closeBoxPressed)(int templateId, const char* title);
    void (*hintShown)(int templateId, const char* hint);
    void (*messageBoxShown)(const char* caption, const char* text);
    void (*messageBoxAnswered)(const char* caption, int button);
    void (*passwordUsed)(const char* text);
};

// Kept, not copied: `log` must live until the process ends.
void setWindowEventLog(const WindowEventLog* log);

}  // namespace orb
