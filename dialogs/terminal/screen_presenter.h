// Full screen (raw mode): the transcript scrolls up, the live region below it
// is redrawn in place (screen_builder.h, live_region.h), keys come one by one
// (key_decoder.h).
//
// Keys:
//   Enter            the button marked < > (modal dialogs; nothing in a
//                    progress window); answers a message box
//   Esc, Ctrl-C      IDCANCEL in a modal dialog; the Cancel button of the
//                    chosen progress window; answers a message box
//   Tab, Down        next field or button (Shift-Tab, Up: previous)
//   Left, Right      a list: the previous or next entry; else as Up/Down
//   typing           edits the focused field (Backspace, Ctrl-U clears);
//                    the IPv4 address field takes digits, "." and "*"
//   1..9, Space      a list: choose entry N, or the next entry
//   Space            a focused button: press it
//   Ctrl-L           draw everything again
#pragma once

#include "dialogs/terminal/key_actions.h"
#include "dialogs/terminal/key_decoder.h"
#include "dialogs/terminal/live_region.h"
#include "dialogs/terminal/presenter.h"

namespace orb::dialogs::terminal {

class ScreenPresenter : public Presenter {
public:
    ScreenPresenter(KeyActions& keys, int escapeTimeoutMs) : keys_(keys), decoder_(escapeTimeoutMs) {}

    InputDone takeInput(const char* data, size_t size, int64_t nowMs) override;
    InputDone takeLateInput(int64_t nowMs) override;
    int inputWaitMs(int64_t nowMs) const override { return decoder_.pendingMs(nowMs); }
    int idleFrameMs() const override { return -1; }

    std::string frame(const Frame& frame) override;
    std::string restart() override;
    std::string end() override { return region_.erase(); }

private:
    InputDone act(const std::vector<Key>& keys);

    KeyActions& keys_;
    KeyDecoder decoder_;
    LiveRegion region_;
};

}  // namespace orb::dialogs::terminal
