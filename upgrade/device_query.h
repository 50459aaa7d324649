// A device query: the HTTP exchange on a worker thread behind the connecting
// window, repeated until the adapter's answer is not an accepted challenge.
#pragma once

#include <cstdint>

#include "platform/instance.h"
#include "web/http_exchange.h"
#include "upgrade/run_outcome.h"

namespace orb {

struct DeviceQuery {
    InstanceHandle instance;
    uint32_t pcAddress;
    uint16_t firstLocalPort;
    uint32_t deviceAddress;
    uint16_t devicePort;
    const char* path;
    char* responseBuffer;  // size + 1 bytes
    int32_t size;
};

// The number of bytes of the adapter's answer, 0 or more. Every abort ends the
// process.
int32_t runDeviceQuery(DeviceQuery query);

// The worker thread's entry: runs httpGet with the record's values and the
// run's credentials and device values. Ends with workerExitCode of its result;
// a failed connection ends the process from this thread, with its error box.
int32_t deviceQueryWorker(void* query);

// The worker thread's exit code for an exchange, as the thread that started it
// reads it: the byte count (0 or more) of an answer, -1 for a challenge taken,
// -2, -3 and -4 for no socket, no free local port and no connection.
int32_t workerExitCode(const HttpResult& result);

// How a run ends after an exchange whose connection failed.
RunOutcome httpFailureOutcome(HttpOutcome outcome);

}  // namespace orb
