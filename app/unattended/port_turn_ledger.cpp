#include "app/unattended/port_turn_ledger.h"

#include <algorithm>

namespace orb::unattended {

// Listener before HTTP, as PortKind orders the two pools.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
PortTurnLedger::PortTurnLedger(int listenerPorts, int httpPorts) {
    listener_.ports = listener_.share = listenerPorts;
    http_.ports = http_.share = httpPorts;
}

void PortTurnLedger::ask(int run, PortKind kind) { pool(kind).line.push_back(run); }

void PortTurnLedger::release(Pool* pool, int run) {
    auto holder = pool->holders.find(run);
    if (holder == pool->holders.end()) return;  // a give without a take changes nothing
    --pool->held;
    if (--holder->second == 0) pool->holders.erase(holder);
}

void PortTurnLedger::giveBack(int run, PortKind kind) { release(&pool(kind), run); }

void PortTurnLedger::noFreePort(int run, PortKind kind, uint32_t nowMs) {
    Pool& p = pool(kind);
    release(&p, run);
    p.share = std::min(p.share, p.held);
    p.changedMs = nowMs;
    p.line.push_back(run);
}

void PortTurnLedger::forgetRun(int run) {
    for (Pool* p : {&listener_, &http_}) {
        auto holder = p->holders.find(run);
        if (holder != p->holders.end()) {
            p->held -= holder->second;
            p->holders.erase(holder);
        }
        p->line.erase(std::remove(p->line.begin(), p->line.end(), run), p->line.end());
    }
}

void PortTurnLedger::tick(uint32_t nowMs) {
    for (Pool* p : {&listener_, &http_}) {
        if (p->line.empty() || p->share >= p->ports || p->held < p->share) continue;
        if (nowMs - p->changedMs < kShareRegrowthMs) continue;
        ++p->share;
        p->changedMs = nowMs;
    }
}

bool PortTurnLedger::regrowing() const {
    for (const Pool* p : {&listener_, &http_})
        if (!p->line.empty() && p->share < p->ports) return true;
    return false;
}

std::vector<PortGrant> PortTurnLedger::grant() {
    std::vector<PortGrant> grants;
    for (PortKind kind : {PortKind::Listener, PortKind::Http}) {
        Pool& p = pool(kind);
        while (!p.line.empty() && p.held < p.share) {
            int run = p.line.front();
            p.line.pop_front();
            ++p.held;
            ++p.holders[run];
            p.most = std::max(p.most, p.held);
            grants.push_back({run, kind});
        }
    }
    return grants;
}

std::vector<PortGrant> PortTurnLedger::takeEveryWaiting() {
    std::vector<PortGrant> waiting;
    for (PortKind kind : {PortKind::Listener, PortKind::Http}) {
        Pool& p = pool(kind);
        for (int run : p.line) waiting.push_back({run, kind});
        p.line.clear();
    }
    return waiting;
}

}  // namespace orb::unattended
