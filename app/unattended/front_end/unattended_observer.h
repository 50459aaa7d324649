// The observer of an unattended run (upgrade/run_observer.h): each call, on
// whichever thread of the run met the step, only queues its values; on the
// driver's thread they become event lines (unattended_events.h), the dialogs
// to answer (dialog_answerer.h) and the windows to time (run_deadlines.h), and
// at the end the result (run_result.h).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "web/device_info.h"
#include "upgrade/port_turns.h"
#include "upgrade/run_observer.h"
#include "app/unattended/front_end/dialog_answerer.h"
#include "app/unattended/front_end/event_output.h"
#include "app/unattended/front_end/note_queue.h"
#include "app/unattended/front_end/run_deadlines.h"
#include "app/unattended/front_end/run_result.h"
#include "app/unattended/unattended_options.h"
#include "app/unattended/unattended_outcome.h"

namespace orb::unattended {

// The thread that runs a window of the model; none for a handle that is none.
std::optional<std::thread::id> windowThread(WindowHandle window);

// The pieces the observer hands its steps to.
struct ObserverPeers {
    NoteQueue& queue;
    EventOutput& output;
    DialogAnswerer& answerer;
    RunDeadlines& deadlines;
};

class UnattendedObserver final : public RunObserver {
public:
    UnattendedObserver(const UnattendedOptions& options, const ObserverPeers& peers);

    void windowShown(RunStep step, WindowHandle window, const char* title) override;
    void windowClosed(RunStep step, WindowHandle window) override;
    void addressOffered(const uint32_t* pcAddresses, int count, const char* imageVersion) override;
    void statusRead(const DeviceInfo& info) override;
    void credentialsDemanded(bool refused) override;
    void listening(uint16_t port) override;
    void uploadStarted(uint16_t port, uint32_t peerAddress, uint16_t peerPort, uint32_t size) override;
    void blockAcknowledged(uint32_t bytes, uint32_t size) override;
    void uploadComplete(uint32_t size) override;
    void restartWaitProgress(uint32_t elapsedMs, uint32_t totalMs) override;
    void versionRead(const char* version) override;
    void hintShown(const char* text) override;
    void secondRequest(uint32_t address, uint16_t port) override;
    void runEnded(RunOutcome outcome, const char* message) override;

    // The port turns' client: no port of `kind` came within --port-wait. The
    // run ends next, with the bind failure's box.
    void portWaitExpired(PortKind kind);
    // The log file cannot be written any more (diagnostics_log.h).
    void logFailed(const std::string& path, const std::string& reason);

    // The driver's thread, at the end: the result, from what was seen and why
    // the run was stopped (`batchGone`: the batch's input ended).
    RunResult result(StopReason stopReason, bool batchGone);

private:
    // At most one upload line a second, and always the last.
    static constexpr auto kUploadReportInterval = std::chrono::seconds(1);

    struct Upload {
        uint16_t port;
        uint32_t peerAddress;
        uint16_t peerPort;
        uint32_t size;
    };
    struct Progress {
        uint32_t done;
        uint32_t total;
    };

    void onWindowShown(const ShownDialog& shown, RunStep step);
    void onUploadStarted(const Upload& upload);
    void onBlockAcknowledged(uint32_t bytes, uint32_t size, bool complete);
    void onRestartWait(const Progress& progress);
    void onRunEnded(RunOutcome outcome, const std::string& message);
    void onSecondRequest(uint32_t address, uint16_t port);
    std::string hintText() const;

    const std::string adapter_;
    const int portWaitSeconds_;
    NoteQueue& queue_;
    EventOutput& output_;
    DialogAnswerer& answerer_;
    RunDeadlines& deadlines_;
    std::atomic<std::chrono::steady_clock::rep> lastBlockPosted_{0};

    // The driver's thread's (or the end hook's, under the driver's lock).
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
    std::optional<std::chrono::steady_clock::time_point> lastUploadReport_;
    uint32_t lastUploadBytes_ = ~0u;
    std::optional<std::chrono::steady_clock::time_point> lastRestartReport_;
};

}  // namespace orb::unattended
