// A device query: the HTTP exchange on a worker thread behind the connecting
// window, repeated until the adapter's answer is not an accepted challenge.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/instance.h"
#include "web/device_info.h"
#include "web/http_exchange.h"
#include "upgrade/run_outcome.h"

namespace orb {

struct DeviceQuery {
    InstanceHandle instance;
    HttpRoute route;
    const char* path;
    std::span<char> response;  // the answer and its NUL (httpGet)
    // The check after the upload: an adapter that cannot be reached has not
    // come back ("not responding after firmware upload").
    bool afterUpload = false;
};

// The number of bytes of the adapter's answer, 0 or more. Every abort ends the
// process.
int32_t runDeviceQuery(DeviceQuery query);

// The worker thread's entry: runs httpGet with the record's values and the
// run's credentials, and scrapes its answer into the run's device values
// (scrapeAnswer). Ends with workerExitCode of its result,
// or kNoFreePort; a failed connection (connectionFailure) ends the process
// from this thread, with its error box.
int32_t deviceQueryWorker(void* raw);

// The run's end for an exchange whose connection failed; nothing for one that
// reached the adapter (an answer, or a challenge taken).
std::optional<RunOutcome> connectionFailure(HttpOutcome outcome, bool afterUpload = false);

// The worker thread's exit code for an exchange that reached the adapter, as
// the query's thread reads it: the byte count (0 or more) of an answer, or
// kChallengeTaken. kNoFreePort: the port search found every port taken while
// a keeper shares them (port_turns.h), and nothing was sent.
inline constexpr int32_t kChallengeTaken = -1;
inline constexpr int32_t kNoFreePort = -2;
int32_t workerExitCode(const HttpResult& result);

// What the query reads of an exchange: an answer of at least one byte is
// scraped into `info` (a field whose label the page lacks keeps its value); a
// challenge taken, an empty answer or no connection leaves `info` as it was.
void scrapeAnswer(const HttpResult& result, const char* answer, DeviceInfo* info);

// Runs the query: true when the adapter answered with a page (at least one
// byte, from which DeviceInfo was read), false for an empty answer.
bool deviceAnswered(const DeviceQuery& query);

}  // namespace orb
