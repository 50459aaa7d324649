// What a key does in the terminal view, full screen or line by line: it acts
// through orb::dialogs::input on whoever gets the keys now (findKeyTarget in
// screen_builder.h). Tab and the arrows choose among the progress windows
// which one Esc and Ctrl-C cancel; both modes draw that choice.
#pragma once

#include <cstddef>

#include "dialogs/dialog_view.h"
#include "dialogs/terminal/key_decoder.h"
#include "dialogs/terminal/snapshot.h"

namespace orb::dialogs::terminal {

// What a field takes from the keyboard, in bytes (a text field's are UTF-8).
constexpr size_t kAddressTextMax = 15;  // 255.255.255.255
constexpr size_t kEditTextMax = 1000;
inline bool isAddressCharacter(char c) { return (c >= '0' && c <= '9') || c == '.' || c == '*'; }

class KeyActions {
public:
    // Reads the model and acts on the key. Ctrl-L is not one of these: it
    // draws everything again, which is the view's.
    void act(const Key& key);
    // The progress window chosen last; findKeyTarget checks that it still is one.
    WindowHandle selectedProgress() const { return selectedProgress_; }

private:
    void actOnDialog(const dialogs::WindowState& window, const Key& key);
    void actOnProgress(const Snapshot& now, WindowHandle target, const Key& key);

    WindowHandle selectedProgress_ = nullptr;
};

}  // namespace orb::dialogs::terminal
