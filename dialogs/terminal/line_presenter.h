// Line by line (line_mode.h): every line printed stays as it is; a progress
// window gets a line now and then, when it changed; the prompt of whoever
// takes input is printed again whenever it changes; each typed line is a
// command.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "dialogs/terminal/key_actions.h"
#include "dialogs/terminal/presenter.h"

namespace orb::dialogs::terminal {

class LinePresenter : public Presenter {
public:
    // `progressIntervalMs`: the shortest time between two printed lines of one
    // progress window.
    LinePresenter(KeyActions& keys, int progressIntervalMs) : keys_(keys), progressIntervalMs_(progressIntervalMs) {}

    InputDone takeInput(const char* data, size_t size, int64_t nowMs) override;
    InputDone takeLateInput(int64_t) override { return InputDone{}; }
    int inputWaitMs(int64_t) const override { return -1; }
    // Progress is printed now and then even when nothing else changes.
    int idleFrameMs() const override { return lastProgressLine_.empty() ? -1 : progressIntervalMs_; }

    std::string frame(const Frame& frame) override;
    std::string restart() override;  // the prompt again
    std::string end() override { return "\n"; }

private:
    void actOnLine(const std::string& line);

    KeyActions& keys_;
    int progressIntervalMs_;
    std::string lineBuffer_;               // the line being typed
    std::vector<std::string> lastPrompt_;  // the last block printed
    std::map<WindowHandle, std::string> lastProgressLine_;
    std::map<WindowHandle, std::string> printedHint_;  // the hint printed last
    std::map<WindowHandle, int64_t> lastProgressMs_;
};

}  // namespace orb::dialogs::terminal
