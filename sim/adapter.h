// One simulated adapter: its web server, its TFTP client and its restart. It
// owns no thread and never waits: the fleet's loop (sim/simulator.h) waits on
// every adapter's sockets at once, hands each ready socket to its adapter and
// runs an adapter's timers when its nextDeadline() has come.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/event_log.h"
#include "sim/http_message.h"
#include "sim/options.h"
#include "sim/poll_set.h"
#include "sim/tftp_fetch.h"

namespace orb::sim {

class Adapter;

// What the poll set's tags point at: every socket of an adapter has one.
struct SocketTag {
    Adapter* adapter = nullptr;
};

class Adapter {
public:
    // Adapter `index` of the fleet, with its own `config` (makeAdapterConfig).
    // With `tagLines`, every event line carries adapter=A.B.C.D first (a fleet
    // of more than one).
    Adapter(unsigned index, SimConfig config, EventLog* log, PollSet* polls, bool tagLines);
    ~Adapter();
    Adapter(const Adapter&) = delete;
    Adapter& operator=(const Adapter&) = delete;

    // Binds and listens. On failure logs event=error and `error` says why, in
    // words a person can act on.
    bool start(std::string* error);
    // Does what has come due by nowMs, and nothing when nothing has (the
    // fleet may call early). False when the web server could not come back
    // after a restart.
    bool runTimers(int64_t nowMs);
    // One of this adapter's sockets is ready: `tag` as the poll set gave it.
    void handleReady(SocketTag* tag, uint32_t events, int64_t nowMs);
    // Forgets the connections closed since the last call. Not while the
    // fleet's loop still holds tags of the current wait.
    void dropClosedConnections();
    // When runTimers() has work to do; the largest value while there is none.
    int64_t nextDeadline() const;
    // True once after accept4 ran out of descriptors (EMFILE, ENFILE): the
    // listener is then left out of the waits, since it would report the
    // waiting connection again at once, until resumeAccepting() (the fleet's
    // loop calls it when a descriptor frees) or a retry a second later.
    bool takeAcceptPause();
    void resumeAccepting();

    unsigned index() const { return index_; }
    const SimConfig& config() const { return config_; }
    void log(EventLine line);

private:
    struct Connection : SocketTag {
        enum class Phase { Reading, Delaying, Writing, Silent };
        int fd = -1;
        std::string peer;
        std::string received;
        std::string response;
        size_t sent = 0;
        Phase phase = Phase::Reading;
        int64_t dueMs = 0;  // Reading: give up waiting; Delaying: answer then
        int status = 0;
    };

    bool openListener(std::string* error);
    void closeListener();
    void acceptConnections(int64_t nowMs);
    void pauseAccepting(int err, int64_t nowMs);
    void readFrom(Connection& connection, int64_t nowMs);
    // What a request gets: the response, and the fetch a trigger starts.
    struct Reply {
        int status = 200;
        HeaderList headers;
        std::string body;
        std::optional<TftpSource> source;
    };
    // How the response goes out: at once, after --http-delay-ms, never, or
    // not at all with the connection closed.
    enum class Answer { Now, Delayed, None, Close };

    void handleRequest(Connection& connection, const HttpRequest& request, int64_t nowMs);
    bool checkAuthorization(const HttpRequest& request, EventLine* line);
    Reply buildReply(const HttpRequest& request, const std::string& route, bool authorized, EventLine* line);
    void addTriggerReply(const HttpRequest& request, Reply* reply, EventLine* line);
    Answer chooseAnswer(const std::string& route, bool* fetch, EventLine* line) const;
    void beginWriting(Connection& connection);
    void writeTo(Connection& connection);
    void closeConnection(Connection& connection);
    bool matches(const HttpTargets& targets, const std::string& route) const;

    std::string makeNonce();
    std::string issueNonce();
    bool nonceIsCurrent(const std::string& nonce) const;

    void startFetch(const TftpSource& source, int64_t nowMs);
    void flushTftp(std::vector<TftpDatagram>& out, int64_t nowMs);
    void sendDueTftp(int64_t nowMs);
    void readTftp(int64_t nowMs);
    void afterTftpEvent(int64_t nowMs);
    void acceptImage(int64_t nowMs);
    void goDown(const std::string& newVersion, int64_t nowMs);
    bool comeUp();

    void closeSocket(int* fd);

    unsigned index_;
    SimConfig config_;
    EventLog* log_;
    PollSet* polls_;
    bool tagLines_;
    std::string addressText_;
    int listenFd_ = -1;
    SocketTag listenerTag_;
    bool acceptPaused_ = false;
    bool acceptPauseNew_ = false;
    bool acceptStarved_ = false;  // accept-paused logged, no connection taken since
    int64_t acceptRetryMs_ = 0;
    SocketTag tftpTag_;
    std::list<Connection> connections_;  // a list: the poll set holds pointers to its elements

    // Restart.
    bool restarted_ = false;  // the adapter has come back at least once
    bool down_ = false;
    int64_t upAtMs_ = 0;
    std::string pendingVersion_;
    unsigned boot_ = 0;

    // Nonces of this boot: the fixed one, or every one handed out (the last 64).
    std::vector<std::string> nonces_;
    uint64_t nonceCounter_ = 0;

    // The TFTP fetch in progress.
    std::unique_ptr<TftpFetch> fetch_;
    int tftpFd_ = -1;
    uint32_t tftpServer_ = 0;
    bool imageHandled_ = false;
    struct QueuedDatagram {
        int64_t dueMs;
        TftpDatagram datagram;
    };
    std::list<QueuedDatagram> tftpQueue_;
    // A fetch that --fetch-delay-ms holds back, and when it starts.
    std::unique_ptr<TftpSource> delayedFetch_;
    int64_t delayedFetchMs_ = 0;
    bool pauseTaken_ = false;  // --pause-after-block has happened in this fetch
    int64_t pausedUntilMs_ = 0;
};

// What to tell a person when bind() or listen() failed with `err`.
std::string describeBindError(int err, uint32_t address, uint16_t port);

}  // namespace orb::sim
