#include "tests/support/scripted_http_server.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "tests/support/monotonic_clock.h"

namespace orb::test {

namespace {

constexpr int kPollStepMs = 20;

// The running servers, for pauseAllForFork and resumeAllAfterFork.
std::mutex liveServersMutex;
std::vector<ScriptedHttpServer*> liveServers;

}  // namespace

ScriptedAnswer ScriptedAnswer::text(std::string bytes) {
    ScriptedAnswer answer;
    answer.parts.push_back(std::move(bytes));
    return answer;
}

ScriptedAnswer ScriptedAnswer::inParts(std::vector<std::string> parts, int gapMs) {
    ScriptedAnswer answer;
    answer.parts = std::move(parts);
    answer.partGapMs = gapMs;
    return answer;
}

ScriptedAnswer ScriptedAnswer::closeOnly() {
    ScriptedAnswer answer;
    answer.closeWithoutAnswer = true;
    return answer;
}

ScriptedAnswer ScriptedAnswer::held(std::string bytes) {
    ScriptedAnswer answer = text(std::move(bytes));
    answer.holdOpen = true;
    return answer;
}

std::string httpResponse(int status, const std::string& reason, const std::string& body,
                         const std::string& extraHeaders) {
    return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n" + extraHeaders +
           "Content-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

std::string digestChallengeResponse(const std::string& challengeParameters, const std::string& body) {
    return httpResponse(401, "Unauthorized", body, "WWW-Authenticate: Digest " + challengeParameters + "\r\n");
}

ScriptedHttpServer::ScriptedHttpServer(uint32_t address, uint16_t port) : address_(address), port_(port) {
    defaultAnswer_ = ScriptedAnswer::text(httpResponse(200, "OK", "<html><body></body></html>"));
}

ScriptedHttpServer::~ScriptedHttpServer() { stop(); }

bool ScriptedHttpServer::start() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener_ < 0) {
        error_ = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    int one = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port_);
    local.sin_addr.s_addr = htonl(address_);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || ::listen(listener_, 64) != 0) {
        error_ = std::string("bind/listen: ") + std::strerror(errno);
        ::close(listener_);
        listener_ = -1;
        return false;
    }
    running_ = true;
    acceptThread_ = std::thread([this] { acceptLoop(); });
    std::lock_guard<std::mutex> lock(liveServersMutex);
    liveServers.push_back(this);
    return true;
}

void ScriptedHttpServer::pauseAllForFork() {
    std::lock_guard<std::mutex> lock(liveServersMutex);
    for (ScriptedHttpServer* server : liveServers) server->pauseForFork();
}

void ScriptedHttpServer::resumeAllAfterFork() {
    std::lock_guard<std::mutex> lock(liveServersMutex);
    for (ScriptedHttpServer* server : liveServers) server->resumeAfterFork();
}

void ScriptedHttpServer::pauseForFork() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!running_ || pausedForFork_) return;
        pausedForFork_ = true;
    }
    if (acceptThread_.joinable()) acceptThread_.join();
    // Connections that have ended are joined; one still being served keeps
    // its thread (a child forked now is then not one that TSan can follow).
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (finished_ == accepted_) threads.swap(connectionThreads_);
    }
    for (std::thread& thread : threads) thread.join();
}

void ScriptedHttpServer::resumeAfterFork() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!running_ || !pausedForFork_) return;
    pausedForFork_ = false;
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

void ScriptedHttpServer::stop() {
    {
        std::lock_guard<std::mutex> lock(liveServersMutex);
        liveServers.erase(std::remove(liveServers.begin(), liveServers.end(), this), liveServers.end());
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!running_) return;
        stopping_ = true;
        running_ = false;
    }
    changed_.notify_all();
    if (acceptThread_.joinable()) acceptThread_.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        threads.swap(connectionThreads_);
    }
    for (std::thread& thread : threads) thread.join();
    if (listener_ >= 0) ::close(listener_);
    listener_ = -1;
}

void ScriptedHttpServer::enqueue(ScriptedAnswer answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(answer));
}

void ScriptedHttpServer::setResponder(Responder responder) {
    std::lock_guard<std::mutex> lock(mutex_);
    responder_ = std::move(responder);
}

void ScriptedHttpServer::setDefaultAnswer(ScriptedAnswer answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    defaultAnswer_ = std::move(answer);
}

void ScriptedHttpServer::setRequestTimeout(int milliseconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    requestTimeoutMs_ = milliseconds;
}

bool ScriptedHttpServer::waitForRequests(size_t count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return requests_.size() >= count; });
}

bool ScriptedHttpServer::waitForIdle(int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return finished_ == accepted_; });
}

std::vector<RecordedRequest> ScriptedHttpServer::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

size_t ScriptedHttpServer::connectionCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return accepted_;
}

std::vector<size_t> ScriptedHttpServer::bytesSent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytesSent_;
}

void ScriptedHttpServer::acceptLoop() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_ || pausedForFork_) return;
        }
        pollfd entry{listener_, POLLIN, 0};
        if (::poll(&entry, 1, kPollStepMs) <= 0) continue;
        sockaddr_in peer{};
        socklen_t peerLength = sizeof peer;
        int connection = ::accept(listener_, reinterpret_cast<sockaddr*>(&peer), &peerLength);
        if (connection < 0) continue;
        std::lock_guard<std::mutex> lock(mutex_);
        int index = static_cast<int>(accepted_++);
        bytesSent_.push_back(0);
        connectionThreads_.emplace_back([this, connection, index, peer] {
            serve(connection, ntohl(peer.sin_addr.s_addr), ntohs(peer.sin_port), index);
        });
    }
}

bool ScriptedHttpServer::pauseUnlessStopping(int milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return stopping_; });
}

ScriptedAnswer ScriptedHttpServer::nextAnswer(const RecordedRequest& request) {
    Responder responder;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!queue_.empty()) {
            ScriptedAnswer answer = std::move(queue_.front());
            queue_.pop_front();
            return answer;
        }
        if (!responder_) return defaultAnswer_;
        responder = responder_;
    }
    return responder(request);
}

// The connection and the longest hold, as poll() takes a descriptor and a time-out.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
void ScriptedHttpServer::holdOpen(int connection, int maxMs) {
    // Until the peer closes (or resets), the server stops or the hold ends.
    long long holdEnd = nowMs() + maxMs;
    char chunk[4096];
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) break;
        }
        if (nowMs() >= holdEnd) break;
        pollfd entry{connection, POLLIN, 0};
        if (::poll(&entry, 1, kPollStepMs) <= 0) continue;
        ssize_t got = ::recv(connection, chunk, sizeof chunk, 0);
        if (got <= 0) break;
    }
}

void ScriptedHttpServer::serve(int connection, uint32_t peerAddress, uint16_t peerPort, int index) {
    RecordedRequest request{std::string(), peerAddress, peerPort, index, false};
    int timeoutMs;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        timeoutMs = requestTimeoutMs_;
    }

    // The request: until the empty line, the peer's close, the time-out or stop.
    long long deadline = nowMs() + timeoutMs;
    char chunk[4096];
    for (;;) {
        if (request.bytes.find("\r\n\r\n") != std::string::npos) break;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) break;
        }
        long long left = deadline - nowMs();
        if (left <= 0) break;
        pollfd entry{connection, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(left < kPollStepMs ? left : kPollStepMs)) <= 0) continue;
        ssize_t got = ::recv(connection, chunk, sizeof chunk, 0);
        if (got <= 0) {
            request.peerClosedBeforeEnd = true;
            break;
        }
        request.bytes.append(chunk, static_cast<size_t>(got));
    }

    // The answer is chosen after the request is known, and recorded first, so
    // that a test that waits for the request sees it before the answer goes.
    ScriptedAnswer answer = nextAnswer(request);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
    }
    changed_.notify_all();

    if (!answer.closeWithoutAnswer) {
        bool going = answer.delayMs <= 0 || pauseUnlessStopping(answer.delayMs);
        for (size_t part = 0; going && part < answer.parts.size(); ++part) {
            if (part > 0 && answer.partGapMs > 0) going = pauseUnlessStopping(answer.partGapMs);
            const std::string& bytes = answer.parts[part];
            size_t sent = 0;
            while (going && sent < bytes.size()) {
                pollfd entry{connection, POLLOUT, 0};
                if (::poll(&entry, 1, kPollStepMs) <= 0) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    going = !stopping_;
                    continue;
                }
                ssize_t put = ::send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
                if (put <= 0) {
                    going = false;  // the peer has gone
                    break;
                }
                sent += static_cast<size_t>(put);
                std::lock_guard<std::mutex> lock(mutex_);
                bytesSent_[static_cast<size_t>(index)] += static_cast<size_t>(put);
            }
        }
        if (going && answer.holdOpen) holdOpen(connection, answer.holdOpenMaxMs);
    }
    ::close(connection);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++finished_;
    }
    changed_.notify_all();
}

}  // namespace orb::test
