#include "app/unattended/unattended_front_end.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "platform/own_addresses.h"
#include "platform/process.h"
#include "platform/self_spawn.h"
#include "platform/signals.h"
#include "base/diagnostics_log.h"
#include "base/ipv4_text.h"
#include "tftp/listener_datagram.h"
#include "dialogs/dialog_view.h"
#include "dialogs/program_thread.h"
#include "upgrade/dialog_ids.h"
#include "upgrade/error_box.h"
#include "upgrade/port_turns.h"
#include "upgrade/run_observer.h"
#include "upgrade/run_state.h"
#include "upgrade/startup.h"
#include "upgrade/upgrade_verdict.h"
#include "upgrade/upload_and_verify.h"
#include "upgrade/waiting_hint.h"
#include "app/unattended/port_turn_client.h"
#include "app/unattended/port_turn_ledger.h"
#include "app/unattended/unattended_events.h"
#include "app/unattended/unattended_outcome.h"

namespace orb::unattended {

namespace {

using SteadyClock = std::chrono::steady_clock;
using dialogs::WindowState;

constexpr auto kUploadReportInterval = std::chrono::seconds(1);
constexpr auto kRestartReportInterval = std::chrono::seconds(10);

// The ports that a run waits for, as its result names them.
std::string portsText(PortKind kind) {
    bool listener = kind == PortKind::Listener;
    int first = listener ? kFirstTftpPort : kFirstLocalHttpPort;
    int last = first + (listener ? kListenerPorts : kHttpLocalPorts) - 1;
    return std::string(listener ? "UDP" : "TCP") + " ports " + std::to_string(first) + "-" + std::to_string(last);
}

bool isAlive(WindowHandle window) {
    WindowState state;
    return dialogs::readWindowState(window, &state) && state.alive;
}

// The driver: the run's observer and the dialog manager's view. Both kinds of
// notification arrive on the run's threads and only queue work; the driver's
// own thread does it in order, printing events and answering dialogs. A press
// that the dialog manager refuses (a dialog still initialising, or disabled by
// a message box) waits as a pending action and is tried again on the next
// change of the model, until its window is gone.
class Driver final : public RunObserver, public dialogs::DialogView {
public:
    Driver(const UnattendedOptions& options, std::string password)
        : options_(options), adapter_(options.addresses.at(0)), password_(std::move(password)) {
        if (options.runTimeoutSeconds > 0)
            runDeadline_ = SteadyClock::now() + std::chrono::seconds(options.runTimeoutSeconds);
    }

    [[noreturn]] void run() {
        for (;;) {
            std::optional<SteadyClock::time_point> deadline;
            {
                std::lock_guard<std::mutex> working(workMutex_);
                deadline = nextDeadline();
            }
            {
                std::unique_lock<std::mutex> lock(mutex_);
                auto ready = [this] { return !queue_.empty() || modelChanged_; };
                if (deadline)
                    cv_.wait_until(lock, *deadline, ready);
                else
                    cv_.wait(lock, ready);
            }
            // The notes leave the queue only under workMutex_, so that the end
            // hook, which takes it too, never misses one in flight.
            std::lock_guard<std::mutex> working(workMutex_);
            std::deque<std::function<void()>> batch;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                batch.swap(queue_);
                modelChanged_ = false;
            }
            for (auto& note : batch) note();
            checkDeadlines(SteadyClock::now());
            retryPending();
            wantsChanges_ = stopping_ || !pending_.empty();
        }
    }

    // The last event, from the process-end hook: what is still queued, then
    // the result.
    void reportResult() {
        std::lock_guard<std::mutex> working(workMutex_);
        if (resultWritten_) return;
        ending_ = true;
        takeLateNotes();
        // Gone before its stop was taken (the run ended at once, refused a
        // port turn that will never come).
        if (batchGone_ && seen_.stopReason == StopReason::None) seen_.stopReason = StopReason::BatchGone;
        Outcome outcome = classifyRun(seen_);
        std::string name = outcomeName(outcome, seen_);
        std::string error = stoppedAsAnswer() ? std::string() : endMessage_;
        // Untouched, the adapter's version is the one on its status page.
        if (stoppedAsAnswer()) seen_.reportedVersion = status_.softwareVersion;
        Event event = resultEvent(adapter_, name, outcome);
        event.add("version", seen_.reportedVersion).add("image-version", seen_.imageVersion);
        event.add("error", error);
        event.fields.push_back({"uploaded", seen_.uploaded ? "true" : "false", true});
        std::string text = "result: " + name;
        if (seen_.uploaded && outcome != Outcome::Success) text += " after the upload";
        if (name == "current" || outcome == Outcome::NeedsUpgrade) {
            text += ", version " + seen_.reportedVersion;
            if (outcome == Outcome::NeedsUpgrade) text += " (the embedded image's is " + seen_.imageVersion + ")";
        } else if (outcome == Outcome::Success) {
            text += ", version " + seen_.reportedVersion;
        }
        if (seen_.ended == RunOutcome::WrongVersionAfterUpload)
            text += ", version " + (seen_.reportedVersion.empty() ? std::string("none") : seen_.reportedVersion) +
                    " instead of " + seen_.imageVersion;
        if (!error.empty()) text += " (" + error + ")";
        if (outcome == Outcome::NoRequest) text += "; " + hintText();
        if (seen_.noFreePort) text += "; " + noFreePortNote_;
        if (!secondRequestNote_.empty() && text.find(secondRequestNote_) == std::string::npos)
            text += "; " + secondRequestNote_;
        if (seen_.stopReason == StopReason::BatchGone && outcome == Outcome::Cancelled)
            text += "; the batch that started this run is gone";
        // The log ends with the result too: where no one reads the events
        // any more, it is what is left of the run.
        writeDiagnosticsEntry(text);
        takeLateNotes();  // that very write may have failed
        write(event.add("text", text));
        resultWritten_ = true;  // the last word: nothing after it
    }

    // The log file cannot be written any more (diagnostics_log.h), from
    // whichever thread met it.
    void logFailed(const std::string& path, const std::string& reason) {
        post([this, path, reason] {
            emit(Event(adapter_, "log-error").add("file", path).add("reason", reason),
                 "the log " + path + " cannot be written (" + reason + "): the rest of this run is not logged there");
        });
    }

    // RunObserver: each call queues its values for the driver's thread.
    void windowShown(RunStep step, WindowHandle window, const char* title) override {
        post([this, step, window, title = std::string(title)] { onWindowShown(step, window, title); });
    }
    void windowClosed(RunStep step, WindowHandle window) override {
        post([this, step, window] { onWindowClosed(step, window); });
    }
    void addressOffered(const uint32_t* pcAddresses, int count, const char* imageVersion) override {
        post([this, list = std::vector<uint32_t>(pcAddresses, pcAddresses + count),
              version = std::string(imageVersion)] {
            offered_ = list;
            seen_.imageVersion = version;
        });
    }
    void statusRead(const DeviceInfo& info) override {
        post([this, info] { status_ = info; });
    }
    void credentialsDemanded(bool refused) override {
        post([this, refused] { credentialsRefused_ = refused; });
    }
    void listening(uint16_t port) override {
        post([this, port] { listenerPort_ = port; });
    }
    void uploadStarted(uint16_t port, uint32_t peerAddress, uint16_t peerPort, uint32_t size) override {
        post([this, port, peerAddress, peerPort, size] { onUploadStarted(port, peerAddress, peerPort, size); });
    }
    // A block is acknowledged every few microseconds and only one line a
    // second says so: the others never wake the driver's thread.
    void blockAcknowledged(uint32_t bytes, uint32_t size) override {
        SteadyClock::rep now = SteadyClock::now().time_since_epoch().count();
        SteadyClock::rep last = lastBlockPosted_.load(std::memory_order_relaxed);
        if (last != 0 && now - last < std::chrono::duration_cast<SteadyClock::duration>(kUploadReportInterval).count())
            return;
        lastBlockPosted_.store(now, std::memory_order_relaxed);
        post([this, bytes, size] { onBlockAcknowledged(bytes, size, false); });
    }
    void uploadComplete(uint32_t size) override {
        post([this, size] {
            seen_.uploaded = true;
            onBlockAcknowledged(size, size, true);
        });
    }
    void restartWaitProgress(uint32_t elapsedMs, uint32_t totalMs) override {
        post([this, elapsedMs, totalMs] { onRestartWait(elapsedMs, totalMs); });
    }
    void versionRead(const char* version) override {
        post([this, version = std::string(version)] { seen_.reportedVersion = version; });
    }
    void hintShown(const char* text) override {
        post([this, text = std::string(text)] {
            hint_ = text;
            emit(Event(adapter_, "hint"), text);
        });
    }
    void secondRequest(uint32_t address, uint16_t port) override {
        post([this, address, port] { onSecondRequest(address, port); });
    }
    void runEnded(RunOutcome outcome, const char* message) override {
        post([this, outcome, message = std::string(message != nullptr ? message : "")] {
            onRunEnded(outcome, message);
        });
    }

    // DialogView: a change may let a refused press through now.
    void windowCreated(WindowHandle) override { nudge(); }
    void windowChanged(WindowHandle) override { nudge(); }
    void windowDestroyed(WindowHandle) override { nudge(); }
    void messageBoxShown(dialogs::MessageBoxId box) override {
        post([this, box] { onMessageBox(box); });
    }
    void messageBoxClosed(dialogs::MessageBoxId) override { nudge(); }
    // No bar is shown: the progress loops may sleep five seconds at a time
    // (Cancel still wakes them at once; the restart wait never sleeps past its end).
    int progressFrameMs() const override { return 5000; }

    // The port turns' client: no port of `kind` came within --port-wait. The
    // run ends next, with the bind failure's box.
    void portWaitExpired(PortKind kind) {
        post([this, kind] {
            seen_.noFreePort = true;
            noFreePortNote_ = "none of the " + portsText(kind) + " was free within " +
                              std::to_string(options_.portWaitSeconds) + " s (--port-wait)";
            emit(Event(adapter_, "timeout")
                     .add("limit", "port")
                     .add("seconds", static_cast<long long>(options_.portWaitSeconds))
                     .add("ports", portsText(kind)),
                 noFreePortNote_ + "; the run ends");
        });
    }

    // A stop signal, from the thread that waits for them.
    void stopSignalNoted() {
        post([this] {
            stop(StopReason::Signal, Event(adapter_, "cancel"), "cancel: a signal asks to stop; pressing Cancel");
        });
    }

    // A wait for a turn at the ports begins or ends (any thread): the run's
    // own clock (--run-timeout) stands still meanwhile. Each wait is the
    // batch's, as long as its share of the ports makes it.
    void turnWaitBegan() {
        post([this, at = SteadyClock::now()] {
            if (turnWaits_++ == 0) turnWaitSince_ = at;
        });
    }
    void turnWaitEnded() {
        post([this, at = SteadyClock::now()] {
            if (--turnWaits_ == 0 && runDeadline_) *runDeadline_ += at - turnWaitSince_;
        });
    }

    // The end of the input that only the batch writes: the batch is gone
    // (killed, crashed), and nothing would read the result any more but the
    // log. Cancel as for a stop signal.
    void batchGone() {
        batchGone_ = true;
        post([this] {
            stop(StopReason::BatchGone, Event(adapter_, "cancel"),
                 "cancel: the batch that started this run is gone; pressing Cancel");
        });
    }

private:
    // What is still queued, at the end: the caller holds workMutex_.
    void takeLateNotes() {
        std::deque<std::function<void()>> rest;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            rest.swap(queue_);
        }
        for (auto& note : rest) note();
    }

    struct PendingAction {
        WindowHandle window;
        std::function<bool()> attempt;
    };

    void post(std::function<void()> note) {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(note));
        cv_.notify_one();
    }

    // Only a press still pending (or Cancel on its way) waits for the model to
    // change: the upload's many changes wake nobody otherwise.
    void nudge() {
        if (!wantsChanges_.load()) return;
        std::lock_guard<std::mutex> lock(mutex_);
        modelChanged_ = true;
        cv_.notify_one();
    }

    void write(const Event& event) {
        if (resultWritten_) return;
        std::string line = formatJson(event) + "\n";
        std::fputs(line.c_str(), stdout);
        std::fflush(stdout);
    }

    void emit(Event event, const std::string& text) { write(event.add("text", text)); }

    // Tries at once; a refused attempt waits for the model to change.
    void act(WindowHandle window, std::function<bool()> attempt) {
        if (ending_) return;
        wantsChanges_ = true;  // before the attempt: a change after a refusal is not missed
        if (!attempt() && isAlive(window)) pending_.push_back({window, std::move(attempt)});
    }

    void retryPending() {
        if (stopping_) cancelOpenWindows();
        std::vector<PendingAction> still;
        for (PendingAction& action : pending_)
            if (!action.attempt() && isAlive(action.window)) still.push_back(std::move(action));
        pending_.swap(still);
    }

    void onWindowShown(RunStep step, WindowHandle window, const std::string& title) {
        switch (step) {
            case RunStep::Connecting:
                emit(Event(adapter_, "connecting").add("title", title), title);
                if (options_.httpTimeoutSeconds > 0 && !hasNoHttpLimit(window))
                    httpDeadlines_[window] = SteadyClock::now() + std::chrono::seconds(options_.httpTimeoutSeconds);
                return;
            case RunStep::Waiting:
                waitingWindow_ = window;
                emit(Event(adapter_, "waiting").add("title", title), title);
                if (options_.requestTimeoutSeconds > 0)
                    requestDeadline_ = SteadyClock::now() + std::chrono::seconds(options_.requestTimeoutSeconds);
                return;
            default: break;
        }
        if (stopping_) return;  // Cancel goes to every window instead
        switch (step) {
            case RunStep::Warning:
                emit(Event(adapter_, "warning").add("title", title),
                     title + ": the warning is accepted (--accept-warning)");
                act(window, [window] { return dialogs::input::pressButton(window, kIdOk); });
                break;
            case RunStep::Address: answerAddress(window); break;
            case RunStep::Credentials: answerCredentials(window); break;
            case RunStep::Confirm: answerConfirmation(window); break;
            case RunStep::Success: {
                // The run shows this dialog only for the embedded image's version.
                const std::string& version = seen_.reportedVersion;
                emit(Event(adapter_, "success").add("title", title).add("version", version),
                     title + " version " + version + " (the embedded image's)");
                act(window, [window] { return dialogs::input::pressButton(window, kIdOk); });
                break;
            }
            default: break;
        }
    }

    void onWindowClosed(RunStep step, WindowHandle window) {
        if (step == RunStep::Connecting) httpDeadlines_.erase(window);
        if (step == RunStep::Waiting) requestDeadline_.reset();
    }

    void answerAddress(WindowHandle window) {
        uint32_t adapterNumber = 0, route = 0;
        std::optional<uint32_t> routeSource;
        if (options_.pcAddress.empty() && parseDottedQuad(adapter_, &adapterNumber) &&
            findRouteSource(adapterNumber, &route))
            routeSource = route;
        PcAddressChoice choice = choosePcAddress(offered_, options_.pcAddress, routeSource);
        int index = choice.index;
        if (!options_.pcAddress.empty() && index < 0) {
            std::string offered;
            for (size_t i = 0; i < offered_.size(); ++i) offered += (i > 0 ? ", " : "") + formatIPv4(offered_[i]);
            stop(StopReason::UsageError, Event(adapter_, "usage-error"),
                 "the PC address " + options_.pcAddress + " is not offered (offered: " + offered + ")");
            return;
        }
        if (index >= 0) chosenPcAddress_ = offered_[static_cast<size_t>(index)];
        std::string pcAddress = index >= 0 ? formatIPv4(chosenPcAddress_) : std::string();
        const std::string how = choice.how;
        const char* why = how == "route"   ? " (the system's route to the adapter)"
                          : how == "first" ? " (the first offered)"
                                           : "";
        emit(Event(adapter_, "address")
                 .add("pc-address", pcAddress)
                 .add("pc-address-from", how)
                 .add("image-version", seen_.imageVersion),
             "adapter address " + adapter_ + ", PC address " + pcAddress + why + "; the firmware to install: Version " +
                 seen_.imageVersion);
        act(window, [window, index, adapter = adapter_] {
            if (index >= 0 && !dialogs::input::selectComboEntry(window, kPcAddressComboId, index)) return false;
            return dialogs::input::typeText(window, kAddressFieldId, adapter) &&
                   dialogs::input::pressButton(window, kIdOk);
        });
    }

    void answerCredentials(WindowHandle window) {
        std::string refusal;
        if (password_.empty()) refusal = "the adapter wants a password and none was given";
        if (credentialsRefused_) refusal = "the password was refused";
        if (!refusal.empty()) {
            seen_.authRefused = true;
            emit(Event(adapter_, "credentials").add("accepted", "no"),
                 "credentials: " + refusal + "; authentication refused, not retried");
            act(window, [window] { return dialogs::input::pressEscape(window); });
            return;
        }
        std::string user = options_.user.empty() ? kDefaultUserName : options_.user;
        emit(Event(adapter_, "credentials").add("user", user), "credentials: user " + user + ", password given");
        act(window, [window, user = options_.user, password = password_] {
            if (!user.empty() && !dialogs::input::typeText(window, kUserFieldId, user)) return false;
            return dialogs::input::typeText(window, kPasswordFieldId, password) &&
                   dialogs::input::pressButton(window, kIdOk);
        });
    }

    void answerConfirmation(WindowHandle window) {
        const struct {
            const char* field;
            const char* label;
            const char* value;
        } fields[] = {{"serial", "Serial Number", status_.serialNumber},
                      {"mac", "MAC Address", status_.macAddress},
                      {"software", "Software Version", status_.softwareVersion},
                      {"hardware", "Hardware Version", status_.hardwareVersion},
                      {"product", "Product Name", status_.productName}};
        Event event(adapter_, "status");
        std::string text = "status page:";
        bool first = true;
        for (const auto& field : fields) {
            event.add(field.field, field.value);
            text += std::string(first ? " " : ", ") + field.label + " " + field.value;
            first = false;
        }
        seen_.runsImageVersion = seen_.imageVersion == status_.softwareVersion;
        seen_.forced = options_.force;
        event.add("image-version", seen_.imageVersion);
        event.fields.push_back({"current", seen_.runsImageVersion ? "true" : "false", true});
        // Nothing to do, or nothing asked: Cancel, before anything is triggered.
        if (options_.check || (seen_.runsImageVersion && !options_.force)) {
            std::string why = seen_.runsImageVersion && !options_.force
                                  ? "; it runs the embedded version already"
                                  : "; the embedded version " + seen_.imageVersion + " would be installed";
            if (!options_.check) why += ": nothing to do (--force upgrades it all the same)";
            emit(event, text + why);
            stop(options_.check ? StopReason::Checked : StopReason::Current, std::nullopt, "");
            return;
        }
        emit(event, text + "; pressing Upgrade");
        act(window, [window] { return dialogs::input::pressButton(window, kIdOk); });
    }

    // An adapter may answer the trigger only once it has fetched the image:
    // from the read request on, the trigger's exchange has no time limit (the
    // transfer has its own). Only the listener's thread, which goes on to the
    // verification query, keeps one.
    bool hasNoHttpLimit(WindowHandle window) const {
        WindowState state;
        return uploadThread_ && dialogs::readWindowState(window, &state) && state.thread != *uploadThread_;
    }

    void onUploadStarted(uint16_t port, uint32_t peerAddress, uint16_t peerPort, uint32_t size) {
        requestDeadline_.reset();
        if (waitingWindow_ != nullptr) {
            WindowState state;
            if (dialogs::readWindowState(waitingWindow_, &state)) uploadThread_ = state.thread;
        }
        std::erase_if(httpDeadlines_, [this](const auto& entry) { return hasNoHttpLimit(entry.first); });
        emit(Event(adapter_, "upload-started")
                 .add("port", static_cast<long long>(port))
                 .add("peer", formatIPv4(peerAddress))
                 .add("peer-port", static_cast<long long>(peerPort))
                 .add("size", static_cast<long long>(size)),
             // A source is easily forged: the text says whose address asked, not who.
             "a read request from the adapter's address, " + formatIPv4(peerAddress) + ":" + std::to_string(peerPort) +
                 ": " + std::to_string(size) + " bytes from UDP port " + std::to_string(port));
    }

    // At most one line a second while the blocks go, and always the last.
    void onBlockAcknowledged(uint32_t bytes, uint32_t size, bool complete) {
        SteadyClock::time_point now = SteadyClock::now();
        if (!complete && lastUploadReport_ && now - *lastUploadReport_ < kUploadReportInterval) return;
        if (complete && lastUploadBytes_ == bytes) return;
        lastUploadReport_ = now;
        lastUploadBytes_ = bytes;
        std::string title = formatUploadTitle(adapter_.c_str(), static_cast<int32_t>(bytes), size);
        emit(Event(adapter_, "upload")
                 .add("bytes", static_cast<long long>(bytes))
                 .add("size", static_cast<long long>(size)),
             title);
    }

    void onRestartWait(uint32_t elapsedMs, uint32_t totalMs) {
        SteadyClock::time_point now = SteadyClock::now();
        if (lastRestartReport_ && now - *lastRestartReport_ < kRestartReportInterval) return;
        lastRestartReport_ = now;
        long long seconds = (elapsedMs + 500) / 1000, total = (totalMs + 500) / 1000;
        emit(Event(adapter_, "restart-wait").add("seconds", seconds).add("of", total),
             "Updating Firmware to ORB@" + adapter_ + ": the upload has ended; waiting for the adapter to restart, " +
                 std::to_string(seconds) + " of " + std::to_string(total) + " s");
    }

    void onRunEnded(RunOutcome outcome, const std::string& message) {
        seen_.ended = outcome;
        endMessage_ = message;
        if (message.empty() || stoppedAsAnswer()) return;
        emit(Event(adapter_, "error").add("caption", kErrorBoxCaption).add("message", message),
             std::string(kErrorBoxCaption) + ": " + message);
    }

    // The image goes on to the first requester; the verdict after the restart
    // says whether the adapter has it.
    void onSecondRequest(uint32_t address, uint16_t port) {
        char note[64];
        formatSecondRequestNote(note, sizeof note, address);
        secondRequestNote_ = note;
        emit(Event(adapter_, "second-request")
                 .add("peer", formatIPv4(address))
                 .add("port", static_cast<long long>(port)),
             std::string(note) + ": a read request from UDP port " + std::to_string(port) +
                 " while the transfer goes on; the image goes to the first");
    }

    // Every box is closed with OK, as the person would. A box over a dialog
    // ("Invalid IP Address") would bring the same dialog back: give up there.
    void onMessageBox(dialogs::MessageBoxId box) {
        if (ending_) return;
        WindowHandle owner = nullptr;
        for (const dialogs::MessageBoxState& state : dialogs::listMessageBoxes())
            if (state.id == box) owner = state.owner;
        dialogs::input::answerMessageBox(box, kIdOk);
        if (owner != nullptr && !stopping_)
            stop(StopReason::UsageError, Event(adapter_, "usage-error"), "the address dialog refused " + adapter_);
    }

    std::optional<SteadyClock::time_point> nextDeadline() const {
        std::optional<SteadyClock::time_point> next = requestDeadline_;
        if (runDeadline_ && turnWaits_ == 0 && (!next || *runDeadline_ < *next)) next = runDeadline_;
        for (const auto& [window, deadline] : httpDeadlines_)
            if (!next || deadline < *next) next = deadline;
        return next;
    }

    void checkDeadlines(SteadyClock::time_point now) {
        if (stopping_) {  // Cancel is on its way: nothing is left to time
            requestDeadline_.reset();
            httpDeadlines_.clear();
            runDeadline_.reset();
            return;
        }
        if (runDeadline_ && turnWaits_ == 0 && now >= *runDeadline_) {
            runDeadline_.reset();
            stopAtLimit(StopReason::RunTimeout, "run", options_.runTimeoutSeconds, "the run has not ended");
            return;
        }
        if (requestDeadline_ && now >= *requestDeadline_) {
            requestDeadline_.reset();
            stopAtLimit(StopReason::NoRequest, "request", options_.requestTimeoutSeconds,
                        "no read request from the adapter");
            return;
        }
        for (const auto& [window, deadline] : httpDeadlines_) {
            if (now < deadline) continue;
            stopAtLimit(StopReason::HttpTimeout, "http", options_.httpTimeoutSeconds,
                        "the adapter has not finished its answer");
            httpDeadlines_.clear();
            return;
        }
    }

    // A limit of --LIMIT-timeout passed: its timeout event, then Cancel.
    void stopAtLimit(StopReason reason, const std::string& limit, int seconds, const std::string& what) {
        stop(reason, Event(adapter_, "timeout").add("limit", limit).add("seconds", static_cast<long long>(seconds)),
             what + " within " + std::to_string(seconds) + " s (--" + limit + "-timeout); pressing Cancel");
    }

    // From now on every open window gets its Cancel (Escape in a modal
    // dialog), as a person would press it, until the run ends.
    // Nothing is said for a stop that is the answer (current, --check).
    void stop(StopReason reason, std::optional<Event> event, const std::string& text) {
        if (stopping_ || ending_) return;
        stopping_ = true;
        wantsChanges_ = true;
        seen_.stopReason = reason;
        pending_.clear();
        if (event) emit(std::move(*event), text);
        cancelOpenWindows();
    }

    bool stoppedAsAnswer() const {
        return seen_.stopReason == StopReason::Current || seen_.stopReason == StopReason::Checked;
    }

    void cancelOpenWindows() {
        for (WindowHandle window : dialogs::listWindows()) {
            WindowState state;
            if (cancelPressed_.count(window) != 0 || !dialogs::readWindowState(window, &state)) continue;
            if (!state.visible || !state.alive || !state.enabled) continue;
            // The upgrade is done: the success dialog is closed as it would be.
            if (state.templateId == kSuccessDialogId) {
                if (dialogs::input::pressButton(window, kIdOk)) cancelPressed_.insert(window);
                continue;
            }
            if (!dialogs::input::cancel(window)) continue;
            cancelPressed_.insert(window);
            if (!stoppedAsAnswer())
                emit(Event(adapter_, "cancel-pressed").add("window", state.title),
                     "Cancel pressed in \"" + state.title + "\"");
        }
    }

    std::string hintText() const {
        if (!hint_.empty()) return hint_;
        char text[256];
        formatWaitingHint(text, sizeof text, listenerPort_, chosenPcAddress_);
        return text;
    }

    const UnattendedOptions options_;
    const std::string adapter_;
    const std::string password_;

    std::mutex mutex_;  // the queue; taken only briefly, never while acting
    std::condition_variable cv_;
    std::deque<std::function<void()>> queue_;
    bool modelChanged_ = false;
    std::atomic<bool> wantsChanges_{false};
    std::atomic<SteadyClock::rep> lastBlockPosted_{0};

    // What the driver's thread (or the end hook, which holds workMutex_) keeps.
    std::mutex workMutex_;
    Observation seen_;
    std::vector<uint32_t> offered_;
    uint32_t chosenPcAddress_ = 0;
    DeviceInfo status_{};
    bool credentialsRefused_ = false;
    uint16_t listenerPort_ = 0;
    WindowHandle waitingWindow_ = nullptr;
    std::string hint_;
    std::string endMessage_;         // the error box's text, as the run ended
    std::string secondRequestNote_;  // "two hosts asked for the image as ..."
    std::string noFreePortNote_;     // "none of the UDP ports 69-168 was free ..."
    std::optional<SteadyClock::time_point> lastUploadReport_;
    uint32_t lastUploadBytes_ = ~0u;
    std::optional<SteadyClock::time_point> lastRestartReport_;
    std::optional<SteadyClock::time_point> requestDeadline_;
    std::map<WindowHandle, SteadyClock::time_point> httpDeadlines_;
    std::optional<SteadyClock::time_point> runDeadline_;  // moved on by the turn waits
    int turnWaits_ = 0;                                   // under way now, on any thread
    SteadyClock::time_point turnWaitSince_;
    std::vector<PendingAction> pending_;
    std::set<WindowHandle> cancelPressed_;
    bool stopping_ = false;
    std::atomic<bool> batchGone_{false};
    bool ending_ = false;
    bool resultWritten_ = false;
    // Set when the adapter's read request has arrived: the listener's thread,
    // whose connecting window (the verification query's) still has a time limit.
    std::optional<std::thread::id> uploadThread_;
};

Driver* activeDriver = nullptr;

// The batch's keeper of port turns, with the run's clock stopped while it
// waits for one.
class TimedTurns final : public PortTurnKeeper {
public:
    explicit TimedTurns(PortTurnKeeper* keeper) : keeper_(keeper) {}
    PortTurn take(PortKind kind) override {
        activeDriver->turnWaitBegan();
        PortTurn turn = keeper_->take(kind);
        activeDriver->turnWaitEnded();
        return turn;
    }
    void giveBack(PortKind kind) override { keeper_->giveBack(kind); }
    PortTurn retakeAfterNoFreePort(PortKind kind) override {
        activeDriver->turnWaitBegan();
        PortTurn turn = keeper_->retakeAfterNoFreePort(kind);
        activeDriver->turnWaitEnded();
        return turn;
    }

private:
    PortTurnKeeper* keeper_;
};

void reportOnEnd() {
    if (activeDriver != nullptr) activeDriver->reportResult();
}

}  // namespace

PcAddressChoice choosePcAddress(const std::vector<uint32_t>& offered, const std::string& option,
                                std::optional<uint32_t> routeSource) {
    if (!option.empty()) {
        for (size_t i = 0; i < offered.size(); ++i)
            if (formatIPv4(offered[i]) == option) return {static_cast<int>(i), "--pc-address"};
        return {-1, "--pc-address"};
    }
    if (offered.empty()) return {-1, ""};
    // With several networks (a VPN, a virtual switch) the first address may
    // not reach the adapter; the one the system sends to it from does.
    for (size_t i = 0; routeSource && i < offered.size(); ++i)
        if (offered[i] == *routeSource) return {static_cast<int>(i), "route"};
    return {0, "first"};
}

void runAdapterRun(const UnattendedOptions& options, const std::function<int()>& program) {
    // The runner checked the log's file (ORB_TRACE) before it started any run.
    std::string logError;
    if (!openDiagnosticsLog(nullptr, &logError)) {
        Event event = resultEvent(options.addresses.at(0), "usage-error", Outcome::UsageError);
        std::string line = formatJson(event.add("text", "result: usage-error (" + logError + ")")) + "\n";
        std::fputs(line.c_str(), stdout);
        endProcess(static_cast<int>(Outcome::UsageError));
    }
    // Never destroyed: the program's threads run until _exit.
    activeDriver = new Driver(options, takeRunSecret());
    setDiagnosticsLogFailureHandler(
        [](const std::string& path, const std::string& reason) { activeDriver->logFailed(path, reason); });
    dialogs::installDialogView(activeDriver);
    setRunObserver(activeDriver);
    // Runs started in the same millisecond draw different file names and nonces.
    setRandomSeedMix(currentProcessId());
    addProcessEndHook(reportOnEnd);
    ignoreBrokenPipes();
    catchStopSignals();
    std::thread([] {
        for (;;) {
            waitForStopSignal();
            if (takeStopSignal() == StopSignal::None) return;
            activeDriver->stopSignalNoted();
        }
    }).detach();
    setStandardInputEndHandler([] { activeDriver->batchGone(); });
    installPortTurnClient(options.addresses.at(0), options.portWaitSeconds,
                          [](PortKind kind) { activeDriver->portWaitExpired(kind); });
    // Never destroyed, as the keeper it wraps.
    if (PortTurnKeeper* keeper = portTurnKeeper()) setPortTurnKeeper(new TimedTurns(keeper));
    dialogs::startProgramThread(program);
    activeDriver->run();
}

}  // namespace orb::unattended
