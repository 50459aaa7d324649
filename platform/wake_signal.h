// A signal that ends another thread's wait for a socket: how a message posted
// to a thread's queue wakes that thread while it waits for a datagram. Only the
// portable dialog manager uses it; on Windows the system's own queues do this.
#pragma once

#include "platform/sockets.h"

namespace orb {

struct WakeSignal;

// Never freed: a queue keeps its signal for the life of the process.
WakeSignal* createWakeSignal();
// Any thread; a raised signal stays raised until a wait sees it.
void raiseWakeSignal(WakeSignal* signal);

// Waits until a datagram or data is waiting on `socket` (kInvalidSocket: no
// socket), `signal` is raised (nullptr: none; the wait lowers it), or
// `timeoutMs` have passed. It may return sooner: callers read the wait clock.
void waitForSocketOrSignal(SocketHandle socket, WakeSignal* signal, int timeoutMs);

}  // namespace orb
