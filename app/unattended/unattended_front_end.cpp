#include "app/unattended/unattended_front_end.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "dialogs/dialog_view.h"
#include "app/unattended/unattended_events.h"
#include "app/unattended/unattended_outcome.h"
#include "platform/process.h"
#include "platform/signals.h"

namespace orb::unattended {

namespace {

using dialogs::ControlState;
using dialogs::MessageBoxState;
using dialogs::WindowState;

constexpr long long kUploadReportMs = 1000;
constexpr long long kRestartReportMs = 10000;
constexpr int kRestartUnitMs = 32;  // the restart wait's bar counts 32 ms units

long long nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

const ControlState* findControl(const WindowState& window, int id) {
    for (const ControlState& control : window.controls)
        if (control.id == id) return &control;
    return nullptr;
}

std::string controlText(const WindowState& window, int id) {
    const ControlState* control = findControl(window, id);
    return control != nullptr ? control->text : std::string();
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// What the driver remembers of one window.
struct WindowMemo {
    bool answered = false;
    bool cancelPressed = false;
    long long lastUploadReport = -kUploadReportMs;
    std::string lastUploadTitle;
    bool uploadTitleReported = true;
    long long lastRestartReport = 0;
    bool restartAnnounced = false;
};

class Driver {
public:
    Driver(const UnattendedOptions& options, std::string password)
        : options_(options), adapter_(options.addresses.at(0)), password_(std::move(password)) {}

    [[noreturn]] void run() {
        for (;;) {
            uint64_t revision = dialogs::modelRevision();
            if (takeStopSignal() != StopSignal::None && !cancelRequested()) requestCancel();
            for (WindowHandle window : dialogs::listWindows()) visitWindow(window);
            for (const MessageBoxState& box : dialogs::listMessageBoxes()) answerBox(box);
            dialogs::waitForModelChange(revision, 100);
            // The progress loops change the model up to a thousand times a
            // second; a short pause lets the changes pile up.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    // The last event, from the process-end hook.
    void reportResult() {
        std::lock_guard<std::mutex> lock(mutex_);
        Outcome outcome = classifyRun(seen_);
        std::string name = outcomeName(outcome, seen_);
        Event event(adapter_, "result");
        event.add("result", name).add("code", static_cast<long long>(outcome));
        event.add("version", seen_.reportedVersion).add("image-version", seen_.imageVersion);
        event.add("error", seen_.errorText);
        std::string text = "result: " + name;
        if (outcome == Outcome::Success) text += ", version " + seen_.reportedVersion;
        if (seen_.successShown && outcome != Outcome::Success)
            text += ", version " + seen_.reportedVersion + " instead of " + seen_.imageVersion;
        if (!seen_.errorText.empty()) text += " (" + seen_.errorText + ")";
        write(event.add("text", text));
    }

private:
    bool cancelRequested() {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_.cancelRequested;
    }

    void requestCancel() {
        std::lock_guard<std::mutex> lock(mutex_);
        seen_.cancelRequested = true;
        write(Event(adapter_, "cancel").add("text", "cancel: a signal asks to stop; pressing Cancel"));
    }

    void emit(Event event, const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex_);
        write(event.add("text", text));
    }

    // The caller holds mutex_.
    void write(const Event& event) {
        std::string line = formatJson(event) + "\n";
        std::fputs(line.c_str(), stdout);
        std::fflush(stdout);
    }

    void visitWindow(WindowHandle window) {
        WindowState state;
        if (!dialogs::readWindowState(window, &state) || !state.visible) return;
        WindowMemo& memo = memos_[window];
        if (cancelRequested() && state.templateId != ids::kSuccess) {
            if (!memo.cancelPressed && state.enabled) {
                memo.cancelPressed = state.modal ? dialogs::input::pressEscape(window)
                                                 : dialogs::input::pressButton(window, kIdCancel);
                if (memo.cancelPressed) emit(Event(adapter_, "cancel-pressed").add("window", state.title),
                                             "Cancel pressed in \"" + state.title + "\"");
            }
            return;
        }
        switch (state.templateId) {
        case ids::kWarning: answerWarning(window, state, &memo); break;
        case ids::kAddress: answerAddress(window, state, &memo); break;
        case ids::kCredentials: answerCredentials(window, state, &memo); break;
        case ids::kConfirm: answerConfirmation(window, state, &memo); break;
        case ids::kUpload: followUpload(state, &memo); break;
        case ids::kSuccess: answerSuccess(window, state, &memo); break;
        default:
            if (!memo.answered) {
                memo.answered = true;
                std::string name = state.templateId == ids::kConnecting ? "connecting"
                                   : state.templateId == ids::kWaiting  ? "waiting"
                                                                        : "window";
                emit(Event(adapter_, name).add("title", state.title), state.title);
            }
        }
    }

    void answerWarning(WindowHandle window, const WindowState& state, WindowMemo* memo) {
        if (memo->answered) return;
        memo->answered = dialogs::input::pressButton(window, kIdOk);
        if (memo->answered)
            emit(Event(adapter_, "warning").add("title", state.title),
                 state.title + ": the warning is accepted (--accept-warning)");
    }

    void answerAddress(WindowHandle window, const WindowState& state, WindowMemo* memo) {
        if (memo->answered) return;
        memo->answered = true;
        std::string version = controlText(state, ids::kImageVersionField);
        if (startsWith(version, "Version ")) version = version.substr(8);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            seen_.imageVersion = version;
        }
        const ControlState* combo = findControl(state, ids::kPcAddressCombo);
        int index = combo != nullptr ? combo->selection : -1;
        std::string offered;
        if (combo != nullptr && !options_.pcAddress.empty()) {
            index = -1;
            for (size_t i = 0; i < combo->items.size(); ++i) {
                if (combo->items[i] == options_.pcAddress) index = static_cast<int>(i);
                offered += (i > 0 ? ", " : "") + combo->items[i];
            }
        }
        if (!options_.pcAddress.empty() && index < 0) {
            emit(Event(adapter_, "usage-error"),
                 "the PC address " + options_.pcAddress + " is not offered (offered: " + offered + ")");
            dialogs::input::pressEscape(window);
            return;
        }
        std::string pcAddress = combo != nullptr && index >= 0 && index < static_cast<int>(combo->items.size())
                                    ? combo->items[static_cast<size_t>(index)]
                                    : std::string();
        if (index >= 0) dialogs::input::selectComboEntry(window, ids::kPcAddressCombo, index);
        dialogs::input::typeText(window, ids::kAddressField, adapter_);
        dialogs::input::pressButton(window, kIdOk);
        emit(Event(adapter_, "address").add("pc-address", pcAddress).add("image-version", version),
             "adapter address " + adapter_ + ", PC address " + pcAddress + "; the firmware to install: Version " +
                 version);
    }

    void answerCredentials(WindowHandle window, const WindowState& state, WindowMemo* memo) {
        (void)state;
        if (memo->answered) return;
        memo->answered = true;
        ++credentialsAsked_;
        std::string refusal;
        if (password_.empty()) refusal = "the adapter wants a password and none was given";
        if (credentialsAsked_ > 1) refusal = "the password was refused";
        if (!refusal.empty()) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                seen_.authRefused = true;
            }
            emit(Event(adapter_, "credentials").add("accepted", "no"), "credentials: " + refusal +
                                                                           "; authentication refused, not retried");
            dialogs::input::pressEscape(window);
            return;
        }
        if (!options_.user.empty()) dialogs::input::typeText(window, ids::kUserField, options_.user);
        dialogs::input::typeText(window, ids::kPasswordField, password_);
        dialogs::input::pressButton(window, kIdOk);
        std::string user = options_.user.empty() ? "admin" : options_.user;
        emit(Event(adapter_, "credentials").add("user", user), "credentials: user " + user + ", password given");
    }

    void answerConfirmation(WindowHandle window, const WindowState& state, WindowMemo* memo) {
        if (memo->answered) return;
        memo->answered = true;
        credentialsAsked_ = 0;  // the status page came: the password, if any, passed
        static constexpr struct {
            int id;
            const char* field;
            const char* label;
        } kFields[] = {{1002, "serial", "Serial Number"},      {1003, "mac", "MAC Address"},
                       {1004, "software", "Software Version"}, {1005, "hardware", "Hardware Version"},
                       {1006, "product", "Product Name"}};
        Event event(adapter_, "status");
        std::string text = "status page:";
        for (const auto& field : kFields) {
            std::string value = controlText(state, field.id);
            event.add(field.field, value);
            text += std::string(field.id == 1002 ? " " : ", ") + field.label + " " + value;
        }
        dialogs::input::pressButton(window, kIdOk);
        emit(event, text + "; pressing Upgrade");
    }

    void followUpload(const WindowState& state, WindowMemo* memo) {
        if (!memo->answered) {
            memo->answered = true;
            std::lock_guard<std::mutex> lock(mutex_);
            seen_.uploadStarted = true;
        }
        long long now = nowMs();
        if (startsWith(state.title, "Uploading Firmware to ORB@")) {
            if (state.title == memo->lastUploadTitle) return;
            memo->lastUploadTitle = state.title;
            memo->uploadTitleReported = false;
            unsigned long long done = 0, total = 0;
            size_t at = state.title.rfind(' ', state.title.size() - 7);  // before "N/M Bytes"
            bool complete = at != std::string::npos &&
                            std::sscanf(state.title.c_str() + at, " %llu/%llu", &done, &total) == 2 && done == total;
            if (complete || now - memo->lastUploadReport >= kUploadReportMs) reportUpload(state.title, memo, now);
            return;
        }
        if (startsWith(state.title, "Updating Firmware to ORB@")) {
            if (!memo->uploadTitleReported) reportUpload(memo->lastUploadTitle, memo, now);
            const ControlState* bar = findControl(state, 1010);
            long long seconds = bar != nullptr ? (static_cast<long long>(bar->position) * kRestartUnitMs + 500) / 1000 : 0;
            long long total = bar != nullptr ? (static_cast<long long>(bar->rangeHigh) * kRestartUnitMs + 500) / 1000 : 0;
            if (memo->restartAnnounced && now - memo->lastRestartReport < kRestartReportMs) return;
            memo->restartAnnounced = true;
            memo->lastRestartReport = now;
            emit(Event(adapter_, "restart-wait").add("seconds", seconds).add("of", total),
                 state.title + ": the upload has ended; waiting for the adapter to restart, " + std::to_string(seconds) + " of " +
                     std::to_string(total) + " s");
        }
    }

    void reportUpload(const std::string& title, WindowMemo* memo, long long now) {
        memo->lastUploadReport = now;
        memo->uploadTitleReported = true;
        unsigned long long done = 0, total = 0;
        size_t at = title.rfind(' ', title.size() >= 7 ? title.size() - 7 : 0);
        if (at != std::string::npos) std::sscanf(title.c_str() + at, " %llu/%llu", &done, &total);
        emit(Event(adapter_, "upload")
                 .add("bytes", static_cast<long long>(done))
                 .add("size", static_cast<long long>(total)),
             title);
    }

    void answerSuccess(WindowHandle window, const WindowState& state, WindowMemo* memo) {
        if (memo->answered) return;
        std::string version = controlText(state, ids::kSoftwareVersionField);
        std::string expected;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            seen_.successShown = true;
            seen_.reportedVersion = version;
            expected = seen_.imageVersion;
        }
        std::string note = version == expected ? " (the embedded image's)" : " (not the embedded image's " + expected + ")";
        emit(Event(adapter_, "success").add("title", state.title).add("version", version),
             state.title + " version " + version + note);
        memo->answered = dialogs::input::pressButton(window, kIdOk);
    }

    void answerBox(const MessageBoxState& box) {
        if (answeredBoxes_.count(box.id) != 0) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            seen_.errorText = box.text;
            write(Event(adapter_, "error").add("caption", box.caption).add("message", box.text).add(
                "text", box.caption + ": " + box.text));
        }
        answeredBoxes_.insert(box.id);
        if (!dialogs::input::answerMessageBox(box.id, kIdOk)) return;
        // A box over a dialog ("Invalid IP Address") would bring the same
        // dialog back: give up there instead.
        if (box.owner != nullptr) dialogs::input::pressEscape(box.owner);
    }

    const UnattendedOptions options_;
    const std::string adapter_;
    const std::string password_;
    std::mutex mutex_;
    Observation seen_;
    std::map<WindowHandle, WindowMemo> memos_;
    std::set<dialogs::MessageBoxId> answeredBoxes_;
    int credentialsAsked_ = 0;
};

Driver* activeDriver = nullptr;

void reportOnEnd() {
    if (activeDriver != nullptr) activeDriver->reportResult();
}

}  // namespace

void runAdapterRun(const UnattendedOptions& options, const std::function<int()>& program) {
    const char* password = std::getenv("ORB_PASSWORD");
    // Never destroyed: the program's threads run until _exit.
    activeDriver = new Driver(options, password != nullptr ? password : "");
    addProcessEndHook(reportOnEnd);
    ignoreBrokenPipes();
    catchStopSignals();
    std::thread([program] { endProcess(program()); }).detach();
    activeDriver->run();
}

}  // namespace orb::unattended
