#include "app/unattended/front_end/unattended_observer.h"

#include "upgrade/waiting_hint.h"

namespace orb::unattended {

namespace {

using SteadyClock = std::chrono::steady_clock;

}  // namespace

std::optional<std::thread::id> windowThread(WindowHandle window) {
    dialogs::WindowState state;
    if (!dialogs::readWindowState(window, &state)) return std::nullopt;
    return state.thread;
}

UnattendedObserver::UnattendedObserver(const UnattendedOptions& options, const ObserverPeers& peers)
    : adapter_(options.addresses.at(0)),
      portWaitSeconds_(options.portWaitSeconds),
      queue_(peers.queue),
      output_(peers.output),
      answerer_(peers.answerer),
      deadlines_(peers.deadlines) {}

// Each call queues its values for the driver's thread.
void UnattendedObserver::windowShown(RunStep step, WindowHandle window, const char* title) {
    queue_.post([this, step, shown = ShownDialog{window, title}] { onWindowShown(shown, step); });
}

void UnattendedObserver::windowClosed(RunStep step, WindowHandle window) {
    queue_.post([this, step, window] {
        if (step == RunStep::Connecting) deadlines_.connectingClosed(window);
        if (step == RunStep::Waiting) deadlines_.waitingClosed();
    });
}

void UnattendedObserver::addressOffered(const uint32_t* pcAddresses, int count, const char* imageVersion) {
    queue_.post(
        [this, list = std::vector<uint32_t>(pcAddresses, pcAddresses + count), version = std::string(imageVersion)] {
            offered_ = list;
            seen_.imageVersion = version;
        });
}

void UnattendedObserver::statusRead(const DeviceInfo& info) {
    queue_.post([this, info] { status_ = info; });
}

void UnattendedObserver::credentialsDemanded(bool refused) {
    queue_.post([this, refused] { credentialsRefused_ = refused; });
}

void UnattendedObserver::listening(uint16_t port) {
    queue_.post([this, port] { listenerPort_ = port; });
}

void UnattendedObserver::uploadStarted(uint16_t port, uint32_t peerAddress, uint16_t peerPort, uint32_t size) {
    queue_.post([this, upload = Upload{port, peerAddress, peerPort, size}] { onUploadStarted(upload); });
}

// A block is acknowledged every few microseconds and only one line a second
// says so: the others never wake the driver's thread.
void UnattendedObserver::blockAcknowledged(uint32_t bytes, uint32_t size) {
    SteadyClock::rep now = SteadyClock::now().time_since_epoch().count();
    SteadyClock::rep last = lastBlockPosted_.load(std::memory_order_relaxed);
    if (last != 0 && now - last < std::chrono::duration_cast<SteadyClock::duration>(kUploadReportInterval).count())
        return;
    lastBlockPosted_.store(now, std::memory_order_relaxed);
    queue_.post([this, bytes, size] { onBlockAcknowledged(bytes, size, false); });
}

void UnattendedObserver::uploadComplete(uint32_t size) {
    queue_.post([this, size] {
        seen_.uploaded = true;
        onBlockAcknowledged(size, size, true);
    });
}

void UnattendedObserver::restartWaitProgress(uint32_t elapsedMs, uint32_t totalMs) {
    queue_.post([this, progress = Progress{elapsedMs, totalMs}] { onRestartWait(progress); });
}

void UnattendedObserver::versionRead(const char* version) {
    queue_.post([this, version = std::string(version)] { seen_.reportedVersion = version; });
}

void UnattendedObserver::hintShown(const char* text) {
    queue_.post([this, text = std::string(text)] {
        hint_ = text;
        output_.emit(Event(adapter_, "hint"), text);
    });
}

void UnattendedObserver::secondRequest(uint32_t address, uint16_t port) {
    queue_.post([this, address, port] { onSecondRequest(address, port); });
}

void UnattendedObserver::runEnded(RunOutcome outcome, const char* message) {
    queue_.post(
        [this, outcome, message = std::string(message != nullptr ? message : "")] { onRunEnded(outcome, message); });
}

void UnattendedObserver::onWindowShown(const ShownDialog& shown, RunStep step) {
    const std::string& title = shown.title;
    switch (step) {
        case RunStep::Connecting:
            output_.emit(Event(adapter_, "connecting").add("title", title), title);
            deadlines_.connectingShown(shown.window, SteadyClock::now());
            return;
        case RunStep::Waiting:
            waitingWindow_ = shown.window;
            output_.emit(Event(adapter_, "waiting").add("title", title), title);
            deadlines_.waitingShown(SteadyClock::now());
            return;
        default: break;
    }
    if (answerer_.stopping()) return;  // Cancel goes to every window instead
    switch (step) {
        case RunStep::Warning: answerer_.answerWarning(shown); break;
        case RunStep::Address:
            if (auto chosen = answerer_.answerAddress(shown.window, offered_, seen_.imageVersion))
                chosenPcAddress_ = *chosen;
            break;
        case RunStep::Credentials:
            if (answerer_.answerCredentials(shown.window, credentialsRefused_)) seen_.authRefused = true;
            break;
        case RunStep::Confirm: {
            ConfirmationAnswer answer = answerer_.answerConfirmation(shown.window, status_, seen_.imageVersion);
            seen_.runsImageVersion = answer.runsImageVersion;
            seen_.forced = answer.forced;
            break;
        }
        case RunStep::Success: answerer_.answerSuccess(shown, seen_.reportedVersion); break;
        default: break;
    }
}

RunResult UnattendedObserver::result(StopReason stopReason, bool batchGone) {
    seen_.stopReason = stopReason;
    // Gone before its stop was taken (the run ended at once, refused a port
    // turn that will never come).
    if (batchGone && seen_.stopReason == StopReason::None) seen_.stopReason = StopReason::BatchGone;
    bool answered = isStopAsAnswer(seen_.stopReason);
    // Untouched, the adapter's version is the one on its status page.
    if (answered) seen_.reportedVersion = status_.softwareVersion;
    return composeResult(
        {adapter_, seen_, answered ? std::string() : endMessage_, hintText(), noFreePortNote_, secondRequestNote_});
}

std::string UnattendedObserver::hintText() const {
    if (!hint_.empty()) return hint_;
    char text[256];
    formatWaitingHint(text, sizeof text, listenerPort_, chosenPcAddress_);
    return text;
}

}  // namespace orb::unattended
