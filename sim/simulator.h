// The simulated adapter: its web server, its TFTP client and its restart, run
// by one thread in one poll loop.
#pragma once

#include <csignal>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "sim/event_log.h"
#include "sim/http_message.h"
#include "sim/options.h"
#include "sim/tftp_fetch.h"

namespace orb::sim {

class Simulator {
public:
    Simulator(SimConfig config, EventLog* log);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Binds and listens; logs event=listening. On failure `error` says why,
    // in words a person can act on.
    bool start(std::string* error);
    // Serves until requestStop(); returns the exit status: 0, or 1 when the
    // web server could not come back after a restart.
    int run();
    // Makes run() return soon. Safe to call from a signal handler.
    void requestStop(int signalNumber);

    // SIGINT and SIGTERM call requestStop() of this simulator; SIGPIPE is
    // ignored.
    static void installSignalHandlers(Simulator* simulator);

private:
    struct Connection {
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
    void readFrom(Connection& connection, int64_t nowMs);
    void handleRequest(Connection& connection, const HttpRequest& request, int64_t nowMs);
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

    int64_t nextDeadline() const;
    void drainWakePipe();

    SimConfig config_;
    EventLog* log_;
    int listenFd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    volatile sig_atomic_t stopSignal_ = 0;
    std::list<Connection> connections_;

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
