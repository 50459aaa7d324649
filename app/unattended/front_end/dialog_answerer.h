// The dialogs' answerer of an unattended run: it answers each dialog from the
// command line through dialogs::input, the way a person's clicks reach the
// same dialog procedures, and once the run is to stop it presses Cancel in
// every open window. A press that the dialog manager refuses (a dialog still
// initialising, or disabled under a message box) stays pending and is tried
// again on the next change of the model, until its window is gone. As the
// process's dialog view it hears of those changes and of message boxes, on
// any thread; everything else runs on the driver's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/windowing.h"
#include "web/device_info.h"
#include "dialogs/dialog_view.h"
#include "app/unattended/front_end/event_output.h"
#include "app/unattended/front_end/note_queue.h"
#include "app/unattended/unattended_options.h"
#include "app/unattended/unattended_outcome.h"

namespace orb::unattended {

// A stop that is the run's answer (current, --check): nothing is said of it.
bool isStopAsAnswer(StopReason reason);

// A dialog as the run showed it.
struct ShownDialog {
    WindowHandle window;
    std::string title;
};

// What the confirmation's answer learnt.
struct ConfirmationAnswer {
    bool runsImageVersion;  // the status page shows the embedded image's version
    bool forced;            // --force
};

class DialogAnswerer final : public dialogs::DialogView {
public:
    DialogAnswerer(const UnattendedOptions& options, std::string password, NoteQueue& queue, EventOutput& output);

    // DialogView: a change may let a refused press through now.
    void windowCreated(WindowHandle /*window*/) override { queue_.nudge(); }
    void windowChanged(WindowHandle /*window*/) override { queue_.nudge(); }
    void windowDestroyed(WindowHandle /*window*/) override { queue_.nudge(); }
    void messageBoxShown(dialogs::MessageBoxId box) override;
    void messageBoxClosed(dialogs::MessageBoxId /*box*/) override { queue_.nudge(); }
    // No bar is shown: the progress loops may sleep five seconds at a time
    // (Cancel still wakes them at once; the restart wait never sleeps past its end).
    int progressFrameMs() const override { return 5000; }

    void answerWarning(const ShownDialog& dialog);
    // The PC address chosen, if one is.
    std::optional<uint32_t> answerAddress(WindowHandle window, const std::vector<uint32_t>& offered,
                                          const std::string& imageVersion);
    // Whether authentication is refused: no password, or `refused` before.
    bool answerCredentials(WindowHandle window, bool refused);
    ConfirmationAnswer answerConfirmation(WindowHandle window, const DeviceInfo& status,
                                          const std::string& imageVersion);
    // The run shows the success dialog only for the embedded image's version.
    void answerSuccess(const ShownDialog& dialog, const std::string& version);

    // From now on every open window gets its Cancel (Escape in a modal
    // dialog), as a person would press it, until the run ends.
    void stop(StopReason reason, std::optional<Event> event, const std::string& text);
    // After each round of notes: the pending presses again.
    void retryPending();
    // The result is being written: nothing is pressed any more.
    void end() { ending_ = true; }

    bool stopping() const { return stopping_; }
    bool wantsChanges() const { return stopping_ || !pending_.empty(); }
    StopReason stopReason() const { return stopReason_; }

private:
    struct PendingAction {
        WindowHandle window;
        std::function<bool()> attempt;
    };

    void act(WindowHandle window, std::function<bool()> attempt);
    void onMessageBox(dialogs::MessageBoxId box);
    void cancelOpenWindows();

    const UnattendedOptions options_;
    const std::string adapter_;
    const std::string password_;
    NoteQueue& queue_;
    EventOutput& output_;
    std::vector<PendingAction> pending_;
    std::set<WindowHandle> cancelPressed_;
    StopReason stopReason_ = StopReason::None;
    bool stopping_ = false;
    bool ending_ = false;
};

}  // namespace orb::unattended
