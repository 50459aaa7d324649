#include "dialogs/terminal/screen_presenter.h"

#include "dialogs/terminal/screen_builder.h"

namespace orb::dialogs::terminal {

InputDone ScreenPresenter::takeInput(const char* data, size_t size, int64_t nowMs) {
    std::vector<Key> keys;
    decoder_.feed(data, size, nowMs, &keys);
    return act(keys);
}

InputDone ScreenPresenter::takeLateInput(int64_t nowMs) {
    std::vector<Key> late;
    decoder_.flush(nowMs, &late);
    return act(late);
}

InputDone ScreenPresenter::act(const std::vector<Key>& keys) {
    InputDone done;
    for (const Key& key : keys) {
        if (key.code == KeyCode::CtrlL) {
            done.redrawAll = true;
        } else {
            keys_.act(key);
        }
        ++done.handled;
    }
    return done;
}

std::string ScreenPresenter::frame(const Frame& frame) {
    LiveScreen screen =
        buildLiveScreen(frame.now.visible, frame.now.boxes, keys_.selectedProgress(), frame.width, frame.height);
    std::vector<std::string> transcript;
    for (const StyledLine& line : frame.transcript) transcript.push_back(line.render());
    return region_.update(transcript, screen.lines, screen.cursor);
}

std::string ScreenPresenter::restart() {
    // Clear the screen and show the open windows from their start again.
    region_.forget();
    return "\x1b[0m\x1b[H\x1b[2J";
}

}  // namespace orb::dialogs::terminal
