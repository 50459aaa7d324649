// The runner's side of the port turns (upgrade/port_turns.h): how many of the
// batch's runs may hold a listener port and an HTTP local port at once, who
// waits for one, and who gets one next. Pure bookkeeping: the runner carries
// the asks and the grants over each run's pipes (port_turn_client.h).
//
// The share of a kind starts at the number of its ports. A run whose port
// search found every port taken holds one turn too many: ports held by
// programs outside the batch count against it, so the share drops to what the
// batch's runs hold without it, and that run waits again. While runs wait, the
// share grows back by one a second up to all the ports, so that ports freed
// outside the batch come back into use; a run that then finds none free only
// costs one search.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <utility>
#include <vector>

#include "tftp/listener_datagram.h"
#include "web/http_exchange.h"
#include "upgrade/port_turns.h"

namespace orb::unattended {

inline constexpr int kListenerPorts = kTftpPortTries;        // UDP 69..168
inline constexpr int kHttpLocalPorts = kHttpLocalPortTries;  // TCP 23456..23556
inline constexpr uint32_t kShareRegrowthMs = 1000;

struct PortGrant {
    int run;
    PortKind kind;
};

class PortTurnLedger {
public:
    PortTurnLedger(int listenerPorts = kListenerPorts, int httpPorts = kHttpLocalPorts);

    // `run` asks for a turn; it waits in line until a grant.
    void ask(int run, PortKind kind);
    // `run` has closed its port.
    void giveBack(int run, PortKind kind);
    // `run`'s search found no port free: its turn goes back, the share drops
    // to what the batch holds without it, and it asks again. `nowMs` starts
    // the wait before the share grows.
    void noFreePort(int run, PortKind kind, uint32_t nowMs);
    // The run has ended: whatever it held or asked for goes.
    void forgetRun(int run);
    // Grows shares that are short while runs wait, one a second.
    void tick(uint32_t nowMs);
    // The turns that can be given now, in the order asked; counted as held.
    std::vector<PortGrant> grant();
    // Every run in line, taken out of it (a cancelled batch tells them no turn comes).
    std::vector<PortGrant> takeEveryWaiting();

    int held(PortKind kind) const { return pool(kind).held; }
    int share(PortKind kind) const { return pool(kind).share; }
    int most(PortKind kind) const { return pool(kind).most; }
    size_t waiting(PortKind kind) const { return pool(kind).line.size(); }
    // True while a share is short and someone waits: tick() has work.
    bool regrowing() const;

private:
    struct Pool {
        int ports = 0;
        int share = 0;
        int held = 0;
        int most = 0;
        uint32_t changedMs = 0;  // the last drop or growth of the share
        std::deque<int> line;
        std::map<int, int> holders;  // run -> turns held
    };
    Pool& pool(PortKind kind) { return kind == PortKind::Listener ? listener_ : http_; }
    const Pool& pool(PortKind kind) const { return kind == PortKind::Listener ? listener_ : http_; }
    static void release(Pool* pool, int run);

    Pool listener_;
    Pool http_;
};

}  // namespace orb::unattended
