// The observer's event lines of the upload, the restart wait and the run's
// end, and of what ends a run from outside it (no free port, the log).
#include <chrono>

#include "base/ipv4_text.h"
#include "tftp/listener_datagram.h"
#include "upgrade/error_box.h"
#include "upgrade/port_turns.h"
#include "upgrade/run_state.h"
#include "upgrade/upgrade_verdict.h"
#include "upgrade/upload_and_verify.h"
#include "app/unattended/front_end/unattended_observer.h"
#include "app/unattended/port_turn_ledger.h"

namespace orb::unattended {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr auto kRestartReportInterval = std::chrono::seconds(10);

// The ports that a run waits for, as its result names them.
std::string portsText(PortKind kind) {
    bool listener = kind == PortKind::Listener;
    int first = listener ? kFirstTftpPort : kFirstLocalHttpPort;
    int last = first + (listener ? kListenerPorts : kHttpLocalPorts) - 1;
    return std::string(listener ? "UDP" : "TCP") + " ports " + std::to_string(first) + "-" + std::to_string(last);
}

}  // namespace

void UnattendedObserver::onUploadStarted(const Upload& upload) {
    deadlines_.uploadStarted(waitingWindow_ != nullptr ? windowThread(waitingWindow_) : std::nullopt);
    output_.emit(Event(adapter_, "upload-started")
                     .add("port", static_cast<long long>(upload.port))
                     .add("peer", formatIPv4(upload.peerAddress))
                     .add("peer-port", static_cast<long long>(upload.peerPort))
                     .add("size", static_cast<long long>(upload.size)),
                 // A source is easily forged: the text says whose address asked, not who.
                 "a read request from the adapter's address, " + formatIPv4(upload.peerAddress) + ":" +
                     std::to_string(upload.peerPort) + ": " + std::to_string(upload.size) + " bytes from UDP port " +
                     std::to_string(upload.port));
}

// At most one line a second while the blocks go, and always the last.
void UnattendedObserver::onBlockAcknowledged(uint32_t bytes, uint32_t size, bool complete) {
    SteadyClock::time_point now = SteadyClock::now();
    if (!complete && lastUploadReport_ && now - *lastUploadReport_ < kUploadReportInterval) return;
    if (complete && lastUploadBytes_ == bytes) return;
    lastUploadReport_ = now;
    lastUploadBytes_ = bytes;
    std::string title = formatUploadTitle(adapter_.c_str(), static_cast<int32_t>(bytes), size);
    output_.emit(
        Event(adapter_, "upload").add("bytes", static_cast<long long>(bytes)).add("size", static_cast<long long>(size)),
        title);
}

void UnattendedObserver::onRestartWait(const Progress& progress) {
    SteadyClock::time_point now = SteadyClock::now();
    if (lastRestartReport_ && now - *lastRestartReport_ < kRestartReportInterval) return;
    lastRestartReport_ = now;
    long long seconds = (progress.done + 500) / 1000, total = (progress.total + 500) / 1000;
    output_.emit(Event(adapter_, "restart-wait").add("seconds", seconds).add("of", total),
                 "Updating Firmware to ORB@" + adapter_ +
                     ": the upload has ended; waiting for the adapter to restart, " + std::to_string(seconds) + " of " +
                     std::to_string(total) + " s");
}

void UnattendedObserver::onRunEnded(RunOutcome outcome, const std::string& message) {
    seen_.ended = outcome;
    endMessage_ = message;
    if (message.empty() || isStopAsAnswer(answerer_.stopReason())) return;
    output_.emit(Event(adapter_, "error").add("caption", kErrorBoxCaption).add("message", message),
                 std::string(kErrorBoxCaption) + ": " + message);
}

// The image goes on to the first requester; the verdict after the restart
// says whether the adapter has it.
void UnattendedObserver::onSecondRequest(uint32_t address, uint16_t port) {
    char note[64];
    formatSecondRequestNote(note, sizeof note, address);
    secondRequestNote_ = note;
    output_.emit(
        Event(adapter_, "second-request").add("peer", formatIPv4(address)).add("port", static_cast<long long>(port)),
        std::string(note) + ": a read request from UDP port " + std::to_string(port) +
            " while the transfer goes on; the image goes to the first");
}

void UnattendedObserver::portWaitExpired(PortKind kind) {
    queue_.post([this, kind] {
        seen_.noFreePort = true;
        noFreePortNote_ = "none of the " + portsText(kind) + " was free within " + std::to_string(portWaitSeconds_) +
                          " s (--port-wait)";
        output_.emit(Event(adapter_, "timeout")
                         .add("limit", "port")
                         .add("seconds", static_cast<long long>(portWaitSeconds_))
                         .add("ports", portsText(kind)),
                     noFreePortNote_ + "; the run ends");
    });
}

void UnattendedObserver::logFailed(const std::string& path, const std::string& reason) {
    queue_.post([this, path, reason] {
        output_.emit(Event(adapter_, "log-error").add("file", path).add("reason", reason),
                     "the log " + path + " cannot be written (" + reason +
                         "): the rest of this run is not logged there");
    });
}

}  // namespace orb::unattended
