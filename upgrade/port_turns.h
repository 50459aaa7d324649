// Turns at the machine's ports, for a run that shares them with the other
// runs of a batch: the listener's (UDP 69..168) from before its bind to the
// end of the transfer, and the HTTP client's local ports (23456..23556) for
// one exchange. The interactive programs install no keeper: every take is
// granted at once, and a port search that finds nothing free fails the run as
// it always has ("Can't bind ...").
#pragma once

namespace orb {

enum class PortKind { Listener, Http };

// A keeper's answer to a run that waits for a turn.
enum class PortTurn {
    Granted,
    Refused,  // no turn will come: the batch is cancelled
    Expired,  // none came within the keeper's limit: the run cannot have a port
};

class PortTurnKeeper {
public:
    virtual ~PortTurnKeeper() = default;
    // Blocks until this run may search for a port of `kind`, or says why not.
    virtual PortTurn take(PortKind kind) = 0;
    // The port is closed again.
    virtual void giveBack(PortKind kind) = 0;
    // The search found every port of `kind` taken, by programs outside the
    // batch: the turn goes back and the run waits for another, within the
    // same limit as the take that began the wait.
    virtual PortTurn retakeAfterNoFreePort(PortKind kind) = 0;
};

// nullptr: none (the default).
void setPortTurnKeeper(PortTurnKeeper* keeper);
// The keeper installed, or nullptr: for one that wraps it.
PortTurnKeeper* portTurnKeeper();
// True while one is installed: a port search that finds nothing free is then
// tried again, after a wait for another turn.
bool hasPortTurnKeeper();

// take() of the installed keeper; at once without one. A refused turn ends
// the run as Cancel would; an expired wait as a search that found no port
// free ("Can't bind TFTP listener socket", "Can't bind HTTP socket").
void takePortTurn(PortKind kind);
void givePortTurnBack(PortKind kind);
// After a port search that found nothing free: true when the search may be
// tried again (a keeper gave a new turn); false without a keeper, where the
// run fails as it always has. A refused or expired wait ends the run as
// takePortTurn's does.
bool retryPortSearch(PortKind kind);

}  // namespace orb
