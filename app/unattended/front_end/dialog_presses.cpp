#include "app/unattended/front_end/dialog_answerer.h"

#include <utility>

#include "upgrade/dialog_ids.h"

namespace orb::unattended {

namespace {

bool isAlive(WindowHandle window) {
    dialogs::WindowState state;
    return dialogs::readWindowState(window, &state) && state.alive;
}

}  // namespace

// Tries at once; a refused attempt waits for the model to change.
void DialogAnswerer::act(WindowHandle window, std::function<bool()> attempt) {
    if (ending_) return;
    queue_.wantChanges(true);  // before the attempt: a change after a refusal is not missed
    if (!attempt() && isAlive(window)) pending_.push_back({window, std::move(attempt)});
}

void DialogAnswerer::retryPending() {
    if (stopping_) cancelOpenWindows();
    std::vector<PendingAction> still;
    for (PendingAction& action : pending_)
        if (!action.attempt() && isAlive(action.window)) still.push_back(std::move(action));
    pending_.swap(still);
}

// Every box is closed with OK, as the person would. A box over a dialog
// ("Invalid IP Address") would bring the same dialog back: give up there.
void DialogAnswerer::onMessageBox(dialogs::MessageBoxId box) {
    if (ending_) return;
    WindowHandle owner = nullptr;
    for (const dialogs::MessageBoxState& state : dialogs::listMessageBoxes())
        if (state.id == box) owner = state.owner;
    dialogs::input::answerMessageBox(box, kIdOk);
    if (owner != nullptr && !stopping_)
        stop(StopReason::UsageError, Event(adapter_, "usage-error"), "the address dialog refused " + adapter_);
}

void DialogAnswerer::stop(StopReason reason, std::optional<Event> event, const std::string& text) {
    if (stopping_ || ending_) return;
    stopping_ = true;
    queue_.wantChanges(true);
    stopReason_ = reason;
    pending_.clear();
    if (event) output_.emit(std::move(*event), text);
    cancelOpenWindows();
}

void DialogAnswerer::cancelOpenWindows() {
    for (WindowHandle window : dialogs::listWindows()) {
        dialogs::WindowState state;
        if (cancelPressed_.count(window) != 0 || !dialogs::readWindowState(window, &state)) continue;
        if (!state.visible || !state.alive || !state.enabled) continue;
        // The upgrade is done: the success dialog is closed as it would be.
        if (state.templateId == kSuccessDialogId) {
            if (dialogs::input::pressButton(window, kIdOk)) cancelPressed_.insert(window);
            continue;
        }
        if (!dialogs::input::cancel(window)) continue;
        cancelPressed_.insert(window);
        if (!isStopAsAnswer(stopReason_))
            output_.emit(Event(adapter_, "cancel-pressed").add("window", state.title),
                         "Cancel pressed in \"" + state.title + "\"");
    }
}

}  // namespace orb::unattended
