// A run's side of the port turns when a runner shares the ports among its
// runs (port_turn_ledger.h). The run asks on its standard output, with an
// event line that the runner keeps to itself:
//   {"adapter":"A","event":"port-turn","kind":"listener"|"http","step":"take"|"give"|"busy"}
// ("busy": the search found every port taken; the turn goes back and the run
// waits for another), and the runner answers on the run's standard input with
// one byte a turn: 'L' (listener), 'H' (HTTP), or 'X': no turn will come
// (the batch is cancelled). The end of the input means 'X' too.
#pragma once

#include <functional>
#include <string>

#include "upgrade/port_turns.h"

namespace orb::unattended {

inline constexpr const char* kPortTurnEvent = "port-turn";
inline constexpr const char* kPortTurnsVariable = "ORB_PORT_TURNS";  // "pipe": the runner answers
inline constexpr char kListenerTurn = 'L';
inline constexpr char kHttpTurn = 'H';
inline constexpr char kNoTurn = 'X';

// Installs the keeper (upgrade/port_turns.h) that asks the runner, when the
// environment says a runner answers; nothing otherwise. A wait for a port
// lasts at most `waitSeconds` (0: for ever) from the take that began it,
// through every search that found no port free; `expired` hears of the one
// that did not end in time, before the run ends for it.
void installPortTurnClient(const std::string& adapter, int waitSeconds, const std::function<void(PortKind)>& expired);

}  // namespace orb::unattended
