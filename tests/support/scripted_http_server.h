// A small scripted HTTP server for loopback tests: it plays the adapter's web
// server (or any other) on a given 127.0.x.y and port (80 by default). Every
// accepted connection reads one request (up to the empty line that ends its
// headers, or until the peer closes or a bounded time passes), records the raw
// bytes and the peer's address and port, and then plays one scripted answer:
// send bytes (optionally in parts with pauses) and close, close without
// answering, or answer and hold the connection open until the peer closes or
// the server stops. Answers come from a queue, one per connection in order; when
// the queue is empty the responder callback decides, and without a responder
// the default answer is used.
//
// Thread-based: one accepting thread, one thread per connection. Every wait is
// bounded; stop() (also run by the destructor) ends all threads promptly.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orb::test {

struct ScriptedAnswer {
    // What is sent, part by part, with partGapMs between the parts.
    std::vector<std::string> parts;
    int partGapMs = 0;
    // Pause after the request was read, before the first part.
    int delayMs = 0;
    // Close at once after the request, sending nothing.
    bool closeWithoutAnswer = false;
    // After the answer, keep the connection open until the peer closes it, the
    // server stops or holdOpenMaxMs have passed (the peer sees no end of the
    // answer before then).
    bool holdOpen = false;
    int holdOpenMaxMs = 10000;

    static ScriptedAnswer text(std::string bytes);
    static ScriptedAnswer inParts(std::vector<std::string> parts, int gapMs);
    static ScriptedAnswer closeOnly();
    static ScriptedAnswer held(std::string bytes);
};

struct RecordedRequest {
    std::string bytes;         // exactly what the peer sent before the answer
    uint32_t peerAddress;      // host order
    uint16_t peerPort;         // host order
    int connectionIndex;       // 0 for the first connection accepted
    bool peerClosedBeforeEnd;  // the peer closed before the empty line came
};

// Common answers.
std::string httpResponse(int status, const std::string& reason, const std::string& body,
                         const std::string& extraHeaders = "");
std::string digestChallengeResponse(const std::string& challengeParameters, const std::string& body = "");

class ScriptedHttpServer {
public:
    using Responder = std::function<ScriptedAnswer(const RecordedRequest& request)>;

    explicit ScriptedHttpServer(uint32_t address, uint16_t port = 80);
    ~ScriptedHttpServer();
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    // Binds (with address reuse), listens and starts accepting. False with
    // error() set when the address cannot be bound.
    bool start();
    // Stops accepting, closes every connection and joins every thread. Safe to
    // call more than once.
    void stop();

    void enqueue(ScriptedAnswer answer);
    void setResponder(Responder responder);
    void setDefaultAnswer(ScriptedAnswer answer);
    // Longest wait for the end of a request; a request that never ends is
    // answered after this many milliseconds (default 5000).
    void setRequestTimeout(int milliseconds);

    // Waits until at least `count` requests have been recorded; false after
    // timeoutMs.
    bool waitForRequests(size_t count, int timeoutMs = 5000);
    // Waits until every accepted connection has ended (answered and closed);
    // false after timeoutMs.
    bool waitForIdle(int timeoutMs = 5000);

    std::vector<RecordedRequest> requests() const;
    size_t connectionCount() const;
    // Bytes that send() took for each connection, in accept order.
    std::vector<size_t> bytesSent() const;

    // Around a fork (runInChild calls these): every running server stops its
    // threads (the listening socket stays open, so connections wait in its
    // backlog) and starts them again afterwards, so that the child is forked
    // from a process with one thread. ThreadSanitizer cannot follow a fork of
    // a multi-threaded process: the child inherits the other threads' ids and
    // stops with "dup thread with used id".
    static void pauseAllForFork();
    static void resumeAllAfterFork();

    uint32_t address() const { return address_; }
    uint16_t port() const { return port_; }
    const std::string& error() const { return error_; }

private:
    void acceptLoop();
    void serve(int connection, uint32_t peerAddress, uint16_t peerPort, int index);
    ScriptedAnswer nextAnswer(const RecordedRequest& request);
    bool pauseUnlessStopping(int milliseconds);
    void holdOpen(int connection, int maxMs);
    void pauseForFork();
    void resumeAfterFork();

    uint32_t address_;
    uint16_t port_;
    std::string error_;
    int listener_ = -1;
    int requestTimeoutMs_ = 5000;
    bool running_ = false;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool pausedForFork_ = false;
    std::deque<ScriptedAnswer> queue_;
    Responder responder_;
    ScriptedAnswer defaultAnswer_;
    std::vector<RecordedRequest> requests_;
    std::vector<size_t> bytesSent_;
    std::vector<int> openConnections_;
    size_t accepted_ = 0;
    size_t finished_ = 0;
    std::thread acceptThread_;
    std::vector<std::thread> connectionThreads_;
};

}  // namespace orb::test
