#include "upgrade/device_query.h"

#include "platform/clock.h"
#include "platform/threads.h"
#include "platform/windowing.h"
#include "base/trace.h"
#include "web/http_exchange.h"
#include "web/response_parsing.h"
#include "upgrade/dialog_ids.h"
#include "upgrade/dialog_procs.h"
#include "upgrade/error_box.h"
#include "upgrade/port_turns.h"
#include "upgrade/run_observer.h"
#include "upgrade/run_state.h"

namespace orb {
namespace {

constexpr int kTicksPerStep = 10;
constexpr int kLastPosition = 100;

// The bar shows activity only: one step every 10 ticks, 0..100 and round
// again. Its position carries over between the attempts of one query.
struct ConnectingBar {
    int position = 0;
    int ticks = 0;

    void count(WindowHandle window, uint32_t passed) {
        uint32_t steps = (static_cast<uint32_t>(ticks) + passed) / kTicksPerStep;
        ticks = static_cast<int>((static_cast<uint32_t>(ticks) + passed) % kTicksPerStep);
        if (steps == 0) return;
        position = static_cast<int>((static_cast<uint32_t>(position) + (steps - 1) % (kLastPosition + 1)) %
                                    (kLastPosition + 1));
        if (window != nullptr) setProgressPosition(window, kProgressBarId, position);
        if (++position > kLastPosition) position = 0;
    }
};

// One attempt: the worker runs the exchange while this thread keeps the
// connecting window alive, waking for its messages and for the bar's next
// step. Returns the worker's result. The run holds its turn at the local
// ports throughout.
int32_t runAttempt(const DeviceQuery& query, ConnectingBar* bar) {
    DeviceQuery attempt = query;  // stays in place until the worker has ended
    WindowHandle window = createModelessDialog(query.instance, kConnectingWindowId, connectingDialogProc);
    reportWindowShown(RunStep::Connecting, window);
    ThreadHandle* worker = startThread(deviceQueryWorker, &attempt);
    if (worker == nullptr) {
        if (window != nullptr) destroyWindow(window);
        failRun(RunOutcome::ConnectionThreadFailed);
    }
    uint32_t counted = readWaitTicks();
    while (!hasThreadFinished(worker)) {
        if (window != nullptr) pumpOneMessage(window);
        waitForInput(window, kInvalidSocket, 1, kTicksPerStep - bar->ticks);
        uint32_t now = readWaitTicks();
        bar->count(window, now - counted);
        counted = now;
    }
    if (window != nullptr) destroyWindow(window);
    reportWindowClosed(RunStep::Connecting, window);
    int32_t result = readThreadResult(worker);
    releaseThread(worker);
    return result;
}

}  // namespace

int32_t deviceQueryWorker(void* raw) {
    const auto* query = static_cast<const DeviceQuery*>(raw);
    const HttpRoute& route = query->route;
    trace("HTTP %x:%u to %x:%u", route.pc.address, static_cast<unsigned>(route.pc.port), route.device.address,
          static_cast<unsigned>(route.device.port));
    auto exchange = [query] { return httpGet(query->route, query->path, query->response, &runState.credentials); };
    HttpResult result = exchange();
    scrapeAnswer(result, query->response.data(), &runState.deviceInfo);
    // Every port is held by other programs: with a keeper the query's thread
    // waits for another turn, without the connecting window.
    if (result.outcome == HttpOutcome::BindFailed && hasPortTurnKeeper()) return kNoFreePort;
    if (std::optional<RunOutcome> failure = connectionFailure(result.outcome, query->afterUpload)) failRun(*failure);
    return workerExitCode(result);
}

std::optional<RunOutcome> connectionFailure(HttpOutcome outcome, bool afterUpload) {
    switch (outcome) {
        case HttpOutcome::SocketFailed: return RunOutcome::HttpSocketFailed;
        case HttpOutcome::BindFailed: return RunOutcome::HttpBindFailed;
        case HttpOutcome::ConnectFailed:
            return afterUpload ? RunOutcome::NotRespondingAfterUpload : RunOutcome::CannotConnect;
        case HttpOutcome::Received:
        case HttpOutcome::ChallengeTaken: break;
    }
    return std::nullopt;
}

int32_t workerExitCode(const HttpResult& result) {
    return result.outcome == HttpOutcome::ChallengeTaken ? kChallengeTaken : result.bytes;
}

void scrapeAnswer(const HttpResult& result, const char* answer, DeviceInfo* info) {
    if (result.outcome == HttpOutcome::Received && result.bytes > 0) scrapeDeviceInfo(answer, info);
}

bool deviceAnswered(const DeviceQuery& query) { return runDeviceQuery(query) > 0; }

int32_t runDeviceQuery(DeviceQuery query) {
    ConnectingBar bar;
    int silentRetries = 0;
    bool turnHeld = false;
    for (;;) {
        // The turn is waited for here, blocked, before the window opens: the
        // time a run waits for a port is never the adapter's silence, and a
        // wait in the worker would keep the window's loop waking.
        if (!turnHeld) takePortTurn(PortKind::Http);
        int32_t result = runAttempt(query, &bar);
        // The turn goes back and comes again (or the run ends); a new
        // attempt opens a new window.
        turnHeld = result == kNoFreePort && retryPortSearch(PortKind::Http);
        if (turnHeld) continue;
        givePortTurnBack(PortKind::Http);
        if (result != kChallengeTaken) return result;

        // The adapter demanded authentication. A new nonce (nc back at 0) with
        // a password held may only mean the old nonce expired: retry once
        // without asking. Otherwise the credentials were refused.
        const DigestAuthState& credentials = runState.credentials;
        if (credentials.password[0] != '\0' && credentials.nc == 0 && silentRetries == 0) {
            ++silentRetries;
            continue;
        }
        // Credentials held and asked for again: the adapter refused them.
        if (RunObserver* observer = runObserver()) observer->credentialsDemanded(credentials.password[0] != '\0');
        if (runModalDialog(query.instance, kCredentialsDialogId, credentialsDialogProc) > 0) {
            silentRetries = 0;
            continue;
        }
        failRun(RunOutcome::UserAbort);
    }
}

}  // namespace orb
