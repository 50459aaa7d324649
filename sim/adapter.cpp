#include "sim/adapter.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <utility>

#include "platform/socket_address.h"
#include "base/ipv4_text.h"
#include "sim/device_pages.h"
#include "sim/digest_server.h"
#include "sim/firmware_check.h"
#include "sim/sha256.h"

namespace orb::sim {

namespace {

constexpr int64_t kNever = std::numeric_limits<int64_t>::max();
constexpr int64_t kRequestTimeoutMs = 30000;
constexpr size_t kNoncesKept = 64;
// A listener out of descriptors tries again this much later at the latest.
constexpr int64_t kAcceptRetryMs = 1000;

std::string peerText(const sockaddr_in& socketAddress) {
    return formatIPv4(ntohl(socketAddress.sin_addr.s_addr)) + ":" + std::to_string(ntohs(socketAddress.sin_port));
}

}  // namespace

std::string describeBindError(int err, uint32_t address, uint16_t port) {
    std::string where = formatIPv4(address) + ":" + std::to_string(port);
    std::string text = "cannot listen on " + where + ": " + std::strerror(err);
    if (err == EACCES && port < 1024) {
        text +=
            ". Ports below 1024 need root or the CAP_NET_BIND_SERVICE capability: run orb-sim as root, give it the "
            "capability once with 'sudo setcap cap_net_bind_service=+ep /path/to/orb-sim', or choose another port "
            "with --http-port";
    } else if (err == EADDRINUSE) {
        text += ". Another program (perhaps another orb-sim) listens there already";
    } else if (err == EADDRNOTAVAIL) {
        text +=
            ". The address is not one of this machine's: every 127.x.y.z is, other addresses must be "
            "configured on an interface first";
    }
    return text;
}

Adapter::Adapter(unsigned index, SimConfig config, EventLog* log, PollSet* polls, bool tagLines)
    : index_(index),
      config_(std::move(config)),
      log_(log),
      polls_(polls),
      tagLines_(tagLines),
      addressText_(formatIPv4(config_.address)) {
    config_.faults.seed = config_.seed;
    listenerTag_.adapter = this;
    tftpTag_.adapter = this;
    nonces_.push_back(makeNonce());
}

Adapter::~Adapter() {
    for (Connection& connection : connections_) closeSocket(&connection.fd);
    closeListener();
    closeSocket(&tftpFd_);
}

void Adapter::log(EventLine line) {
    if (tagLines_) line.fields.insert(line.fields.begin(), {"adapter", addressText_});
    log_->write(line);
}

void Adapter::closeSocket(int* fd) {
    if (*fd < 0) return;
    polls_->remove(*fd);
    ::close(*fd);
    *fd = -1;
}

bool Adapter::openListener(std::string* error) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        int err = errno;
        *error = std::string("cannot create the web server's socket") + (tagLines_ ? " for " + addressText_ : "") +
                 ": " + std::strerror(err);
        if (tagLines_ && err == EMFILE) {
            *error += " (each adapter needs a few descriptors: raise the limit with ulimit -n)";
        }
        return false;
    }
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in local = makeSockaddr(config_.address, config_.httpPort);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || ::listen(fd, 16) != 0) {
        int err = errno;
        ::close(fd);
        *error = describeBindError(err, config_.address, config_.httpPort);
        return false;
    }
    if (!polls_->add(fd, EPOLLIN, &listenerTag_)) {
        *error = "cannot watch the web server's socket: " + std::string(std::strerror(errno));
        ::close(fd);
        return false;
    }
    listenFd_ = fd;
    acceptPaused_ = false;
    return true;
}

void Adapter::closeListener() { closeSocket(&listenFd_); }

bool Adapter::start(std::string* error) {
    if (!openListener(error)) {
        log(EventLine("error").add("message", *error));
        return false;
    }
    return true;
}

std::string Adapter::makeNonce() {
    return sha256Hex(std::to_string(config_.seed) + ":" + std::to_string(boot_) + ":" + std::to_string(nonceCounter_++))
        .substr(0, 32);
}

std::string Adapter::issueNonce() {
    if (config_.noncePolicy == NoncePolicy::Fixed) return nonces_.front();
    nonces_.push_back(makeNonce());
    if (nonces_.size() > kNoncesKept) nonces_.erase(nonces_.begin());
    return nonces_.back();
}

bool Adapter::nonceIsCurrent(const std::string& nonce) const {
    for (const std::string& known : nonces_) {
        if (known == nonce) return true;
    }
    return false;
}

bool Adapter::matches(const HttpTargets& targets, const std::string& route) const {
    return targets.all || (targets.status && route == "status") || (targets.trigger && route == "trigger") ||
           (targets.afterRestart && restarted_);
}

void Adapter::acceptConnections(int64_t nowMs) {
    for (;;) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            int err = errno;
            if (err == EMFILE || err == ENFILE) pauseAccepting(err, nowMs);
            return;
        }
        if (acceptStarved_) log(EventLine("accept-resumed"));
        acceptStarved_ = false;
        Connection& connection = connections_.emplace_back();
        connection.adapter = this;
        connection.fd = fd;
        connection.peer = peerText(peer);
        connection.dueMs = nowMs + kRequestTimeoutMs;
        if (!polls_->add(fd, EPOLLIN, &connection)) {
            ::close(fd);
            connection.fd = -1;
        }
    }
}

void Adapter::pauseAccepting(int err, int64_t nowMs) {
    polls_->change(listenFd_, 0, &listenerTag_);
    acceptPaused_ = true;
    acceptPauseNew_ = true;
    acceptRetryMs_ = nowMs + kAcceptRetryMs;
    // Once until a connection is taken again, not at every retry.
    if (!acceptStarved_) log(EventLine("accept-paused").add("reason", std::strerror(err)));
    acceptStarved_ = true;
}

bool Adapter::takeAcceptPause() { return std::exchange(acceptPauseNew_, false); }

void Adapter::resumeAccepting() {
    if (!acceptPaused_ || listenFd_ < 0) return;
    acceptPaused_ = false;
    polls_->change(listenFd_, EPOLLIN, &listenerTag_);
}

void Adapter::readFrom(Connection& connection, int64_t nowMs) {
    char chunk[4096];
    bool ended = false;  // the client has closed its end, or the connection failed
    for (;;) {
        ssize_t got = ::recv(connection.fd, chunk, sizeof chunk, 0);
        if (got > 0) {
            if (connection.phase == Connection::Phase::Reading)
                connection.received.append(chunk, static_cast<size_t>(got));
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) break;
        ended = true;
        break;
    }
    if (connection.phase == Connection::Phase::Reading) {
        HttpRequest request;
        std::string error;
        switch (parseHttpRequest(connection.received, &request, &error)) {
            case ParseStatus::Incomplete:
                if (!ended) return;
                if (!connection.received.empty()) {
                    log(EventLine("http-bad-request").add("peer", connection.peer).add("reason", "incomplete request"));
                }
                closeConnection(connection);
                return;
            case ParseStatus::Bad:
                log(EventLine("http-bad-request").add("peer", connection.peer).add("reason", error).add("status", 400));
                connection.response = buildHttpResponse(400, {{"Content-Type", "text/plain"}}, error + "\n");
                beginWriting(connection);
                return;
            case ParseStatus::Complete:
                // A client that closed its sending end after the request still
                // gets the answer.
                handleRequest(connection, request, nowMs);
                return;
        }
    }
    if (!ended) return;
    if (connection.phase == Connection::Phase::Silent) {
        log(EventLine("http-client-closed").add("peer", connection.peer));
    }
    closeConnection(connection);
}

bool Adapter::checkAuthorization(const HttpRequest& request, EventLine* line) {
    if (!config_.authEnabled) {
        line->add("auth", "off");
        return true;
    }
    const std::string* header = request.header("Authorization");
    if (header == nullptr) {
        line->add("auth", "missing");
        return false;
    }
    AuthorizationHeader parsed = parseAuthorizationHeader(*header);
    DigestVerdict verdict =
        verifyDigestAuthorization(config_.digest, parsed, {.method = request.method, .target = request.target},
                                  [this](const std::string& nonce) { return nonceIsCurrent(nonce); });
    line->add("auth", verdict.accepted ? "ok" : "refused");
    if (!verdict.accepted) line->add("reason", verdict.reason);
    if (!verdict.variant.empty()) line->add("variant", verdict.variant);
    for (const char* name : {"nonce", "nc", "qop", "uri", "cnonce", "algorithm"}) {
        if (const DigestDirective* directive = parsed.find(name)) line->add(name, directive->value);
    }
    return verdict.accepted;
}

Adapter::Reply Adapter::buildReply(const HttpRequest& request, const std::string& route, bool authorized,
                                   EventLine* line) {
    Reply reply;
    if (!authorized) {
        reply.status = 401;
        std::string nonce = issueNonce();
        reply.headers.emplace_back("WWW-Authenticate", buildDigestChallenge(config_.digest, nonce));
        reply.headers.emplace_back("Content-Type", "text/html");
        reply.body = "<html><body><h1>401 Unauthorized</h1></body></html>\n";
        line->add("challenge-nonce", nonce);
    } else if (request.method != "GET") {
        reply.status = 405;
        reply.headers.emplace_back("Allow", "GET");
        reply.headers.emplace_back("Content-Type", "text/plain");
        reply.body = "Only GET is supported\n";
    } else if (route == "status") {
        reply.headers.emplace_back("Content-Type", "text/html");
        reply.body = buildStatusPage(config_.identity);
    } else if (route == "trigger") {
        reply.headers.emplace_back("Content-Type", "text/html");
        addTriggerReply(request, &reply, line);
    } else {
        reply.status = 404;
        reply.headers.emplace_back("Content-Type", "text/html");
        reply.body = "<html><body><h1>404 Not Found</h1></body></html>\n";
    }
    line->add("status", reply.status);
    return reply;
}

void Adapter::addTriggerReply(const HttpRequest& request, Reply* reply, EventLine* line) {
    std::string error;
    reply->source = parseTriggerQuery(request.query(), &error);
    if (!reply->source) {
        reply->status = 400;
        line->add("reason", error);
        reply->body = "<html><body>Bad upgrade request: " + error + "</body></html>\n";
    } else if (fetch_ && !fetch_->finished() && !fetch_->imageComplete()) {
        reply->status = 503;
        line->add("reason", "a fetch is in progress");
        reply->body = "<html><body>Upgrade already in progress</body></html>\n";
        reply->source.reset();
    } else {
        reply->body = "<html><body>Upgrade started</body></html>\n";
    }
}

Adapter::Answer Adapter::chooseAnswer(const std::string& route, bool* fetch, EventLine* line) const {
    Answer answer = Answer::Now;
    if (matches(config_.noAnswer, route)) {
        answer = Answer::None;
        *fetch = *fetch && config_.fetchWithoutAnswer;
    } else if (matches(config_.closeWithoutAnswer, route)) {
        answer = Answer::Close;
        *fetch = *fetch && config_.fetchWithoutAnswer;
    } else if (config_.httpDelayMs > 0 && matches(config_.httpDelayTargets, route)) {
        answer = Answer::Delayed;
        line->add("delay-ms", config_.httpDelayMs);
    }
    static const char* const kAnswerNames[] = {"now", "delayed", "none", "close"};
    line->add("answer", kAnswerNames[static_cast<int>(answer)]);
    return answer;
}

void Adapter::handleRequest(Connection& connection, const HttpRequest& request, int64_t nowMs) {
    std::string path = request.path();
    std::string route = path == kStatusPath ? "status" : path == kTriggerPath ? "trigger" : "other";
    EventLine line("http-request");
    line.add("peer", connection.peer).add("method", request.method).add("target", request.target).add("route", route);

    bool authorized = checkAuthorization(request, &line);
    Reply reply = buildReply(request, route, authorized, &line);
    const std::optional<TftpSource>& source = reply.source;
    bool fetch = source.has_value();
    Answer answer = chooseAnswer(route, &fetch, &line);
    log(line);

    if (source) {
        log(EventLine("trigger")
                .add("server", formatIPv4(source->address) + ":" + std::to_string(source->port))
                .add("file", source->fileName)
                .add("fetch", fetch ? "yes" : "no"));
        if (fetch && config_.fetchDelayMs > 0) {
            delayedFetch_ = std::make_unique<TftpSource>(*source);
            delayedFetchMs_ = nowMs + config_.fetchDelayMs;
        } else if (fetch) {
            startFetch(*source, nowMs);
        }
    }

    connection.status = reply.status;
    connection.response = buildHttpResponse(reply.status, reply.headers, reply.body);
    switch (answer) {
        case Answer::Now: beginWriting(connection); break;
        case Answer::Delayed:
            connection.phase = Connection::Phase::Delaying;
            connection.dueMs = nowMs + config_.httpDelayMs;
            polls_->change(connection.fd, 0, &connection);
            break;
        case Answer::None: connection.phase = Connection::Phase::Silent; break;
        case Answer::Close: closeConnection(connection); break;
    }
}

void Adapter::beginWriting(Connection& connection) {
    connection.phase = Connection::Phase::Writing;
    connection.sent = 0;
    writeTo(connection);
    // Most answers fit into the socket's buffer at once; the rest waits for room.
    if (connection.fd >= 0) polls_->change(connection.fd, EPOLLOUT, &connection);
}

void Adapter::writeTo(Connection& connection) {
    while (connection.sent < connection.response.size()) {
        ssize_t put = ::send(connection.fd, connection.response.data() + connection.sent,
                             connection.response.size() - connection.sent, MSG_NOSIGNAL);
        if (put > 0) {
            connection.sent += static_cast<size_t>(put);
            continue;
        }
        if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;  // wait for EPOLLOUT
        break;                                                                               // the client has gone
    }
    closeConnection(connection);
}

void Adapter::closeConnection(Connection& connection) {
    if (connection.fd < 0) return;
    // Send our FIN first and read what the client may still send, so that the
    // close does not turn into a reset that could cut the answer short.
    ::shutdown(connection.fd, SHUT_WR);
    char sink[1024];
    while (::recv(connection.fd, sink, sizeof sink, 0) > 0) {}
    closeSocket(&connection.fd);
}

void Adapter::startFetch(const TftpSource& source, int64_t nowMs) {
    closeSocket(&tftpFd_);
    tftpQueue_.clear();
    fetch_.reset();
    imageHandled_ = false;
    pauseTaken_ = false;
    pausedUntilMs_ = 0;
    tftpFd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in local = makeSockaddr(config_.address, 0);
    if (tftpFd_ < 0 || ::bind(tftpFd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        !polls_->add(tftpFd_, EPOLLIN, &tftpTag_)) {
        log(EventLine("tftp-failed").add("reason", "socket").add("message", std::strerror(errno)));
        if (tftpFd_ >= 0) ::close(tftpFd_);
        tftpFd_ = -1;
        return;
    }
    TftpFetchSettings settings;
    settings.serverAddress = source.address;
    settings.serverPort = source.port;
    settings.fileName = source.fileName;
    settings.timeoutMs = config_.tftpTimeoutMs;
    settings.retries = config_.tftpRetries;
    settings.logBlocks = config_.logBlocks;
    settings.faults = config_.faults;
    tftpServer_ = source.address;
    fetch_ = std::make_unique<TftpFetch>(settings, [this](const EventLine& line) { log(line); });
    std::vector<TftpDatagram> out;
    fetch_->start(nowMs, &out);
    // The RRQ itself is never delayed: --tftp-delay-ms holds the answers.
    for (const TftpDatagram& datagram : out) {
        sockaddr_in to = makeSockaddr(tftpServer_, datagram.port);
        ::sendto(tftpFd_, datagram.bytes.data(), datagram.bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
}

void Adapter::flushTftp(std::vector<TftpDatagram>& out, int64_t nowMs) {
    if (config_.pauseAfterBlock >= 0 && !pauseTaken_ && fetch_ &&
        fetch_->blocksReceived() >= static_cast<uint64_t>(config_.pauseAfterBlock)) {
        pauseTaken_ = true;
        pausedUntilMs_ = nowMs + config_.pauseMs;
        log(EventLine("tftp-pause").add("block", fetch_->blocksReceived()).add("ms", config_.pauseMs));
    }
    for (TftpDatagram& datagram : out) {
        int64_t due = std::max(nowMs + config_.tftpDelayMs + datagram.holdMs, pausedUntilMs_);
        tftpQueue_.push_back({due, std::move(datagram)});
    }
    out.clear();
    sendDueTftp(nowMs);
}

void Adapter::sendDueTftp(int64_t nowMs) {
    // In the order queued, except that a held packet (--ack-echo-ms) lets the
    // ones behind it pass.
    for (auto it = tftpQueue_.begin(); it != tftpQueue_.end();) {
        if (it->dueMs > nowMs) {
            ++it;
            continue;
        }
        const TftpDatagram& datagram = it->datagram;
        if (tftpFd_ >= 0) {
            sockaddr_in to = makeSockaddr(tftpServer_, datagram.port);
            ::sendto(tftpFd_, datagram.bytes.data(), datagram.bytes.size(), 0, reinterpret_cast<sockaddr*>(&to),
                     sizeof to);
        }
        it = tftpQueue_.erase(it);
    }
}

void Adapter::readTftp(int64_t nowMs) {
    uint8_t packet[2048];
    std::vector<TftpDatagram> out;
    for (;;) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        ssize_t got = ::recvfrom(tftpFd_, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (got < 0) break;
        if (!fetch_) continue;
        fetch_->receive(packet, static_cast<size_t>(got), ntohl(from.sin_addr.s_addr), ntohs(from.sin_port), nowMs,
                        &out);
        flushTftp(out, nowMs);
        afterTftpEvent(nowMs);
        if (tftpFd_ < 0) break;
    }
}

void Adapter::afterTftpEvent(int64_t nowMs) {
    if (!fetch_) return;
    if (fetch_->imageComplete() && !imageHandled_) {
        imageHandled_ = true;
        acceptImage(nowMs);
        fetch_->releaseImage();
    }
    // Keep the socket until every held answer has gone out.
    if (fetch_->finished() && tftpQueue_.empty()) closeSocket(&tftpFd_);
}

void Adapter::acceptImage(int64_t nowMs) {
    const std::vector<uint8_t>& image = fetch_->image();
    ImageCheck check = checkFirmwareImage(image, fetch_->announcedSize(), config_.magic);
    EventLine line("image-received");
    line.add("size", uint64_t{image.size()});
    line.add("tsize", fetch_->announcedSize() ? std::to_string(*fetch_->announcedSize()) : std::string("none"));
    line.add("sha256", sha256Hex(image.data(), image.size()));
    line.add("version", check.version);
    line.add("check", check.verdict);
    log(line);
    if (!config_.saveImagePath.empty()) {
        std::ofstream file(config_.saveImagePath, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        file.close();
        if (file) {
            log(EventLine("image-saved").add("path", config_.saveImagePath));
        } else {
            log(EventLine("error").add("message", "cannot write " + config_.saveImagePath));
        }
    }
    if (check.ok()) goDown(check.version, nowMs);
}

void Adapter::goDown(const std::string& newVersion, int64_t nowMs) {
    closeListener();
    for (Connection& connection : connections_) closeConnection(connection);
    down_ = true;
    pendingVersion_ = config_.versionAfterRestart.empty() ? newVersion : config_.versionAfterRestart;
    upAtMs_ = config_.stayDown ? kNever : nowMs + config_.restartMs;
    log(EventLine("restart-down")
            .add("down-ms", config_.stayDown ? std::string("forever") : std::to_string(config_.restartMs)));
}

bool Adapter::comeUp() {
    config_.identity.softwareVersion = pendingVersion_;
    if (config_.restartWithoutVersion) config_.identity.showsSoftwareVersion = false;
    ++boot_;
    nonces_.clear();
    nonces_.push_back(makeNonce());
    std::string error;
    if (!openListener(&error)) {
        log(EventLine("error").add("message", error));
        return false;
    }
    down_ = false;
    restarted_ = true;
    log(EventLine("restart-up")
            .add("software-version", config_.identity.softwareVersion)
            .add("address", addressText_)
            .add("port", unsigned{config_.httpPort}));
    return true;
}

int64_t Adapter::nextDeadline() const {
    int64_t deadline = kNever;
    for (const Connection& connection : connections_) {
        if (connection.phase == Connection::Phase::Reading || connection.phase == Connection::Phase::Delaying)
            deadline = std::min(deadline, connection.dueMs);
    }
    if (down_) deadline = std::min(deadline, upAtMs_);
    if (delayedFetch_) deadline = std::min(deadline, delayedFetchMs_);
    if (fetch_) deadline = std::min(deadline, fetch_->deadline());
    for (const QueuedDatagram& queued : tftpQueue_) deadline = std::min(deadline, queued.dueMs);
    if (acceptPaused_) deadline = std::min(deadline, acceptRetryMs_);
    return deadline;
}

bool Adapter::runTimers(int64_t nowMs) {
    if (down_ && nowMs >= upAtMs_ && !comeUp()) return false;
    // Another process may have freed a descriptor (ENFILE), or one of this
    // process's was closed without the poll set knowing.
    if (acceptPaused_ && nowMs >= acceptRetryMs_) resumeAccepting();
    for (Connection& connection : connections_) {
        if (connection.fd < 0 || nowMs < connection.dueMs) continue;
        if (connection.phase == Connection::Phase::Delaying) {
            log(EventLine("http-answer").add("peer", connection.peer).add("status", connection.status));
            beginWriting(connection);
        } else if (connection.phase == Connection::Phase::Reading) {
            log(EventLine("http-bad-request")
                    .add("peer", connection.peer)
                    .add("reason", "no complete request in time"));
            closeConnection(connection);
        }
    }
    if (delayedFetch_ && nowMs >= delayedFetchMs_) {
        std::unique_ptr<TftpSource> source = std::move(delayedFetch_);
        startFetch(*source, nowMs);
    }
    if (fetch_) {
        std::vector<TftpDatagram> out;
        fetch_->tick(nowMs, &out);
        flushTftp(out, nowMs);
        afterTftpEvent(nowMs);
    }
    sendDueTftp(nowMs);
    afterTftpEvent(nowMs);
    dropClosedConnections();
    return true;
}

void Adapter::handleReady(SocketTag* tag, uint32_t events, int64_t nowMs) {
    // A tag of a socket closed earlier in the same wait finds fd -1; one whose
    // socket was replaced meanwhile finds nothing to read (non-blocking).
    if (tag == &listenerTag_) {
        if (listenFd_ >= 0 && (events & EPOLLIN)) acceptConnections(nowMs);
        return;
    }
    if (tag == &tftpTag_) {
        if (tftpFd_ >= 0) readTftp(nowMs);
        return;
    }
    Connection& connection = *static_cast<Connection*>(tag);
    if (connection.fd < 0) return;
    if (connection.phase == Connection::Phase::Writing) {
        if (events & (EPOLLOUT | EPOLLERR | EPOLLHUP)) writeTo(connection);
    } else {
        readFrom(connection, nowMs);
    }
}

void Adapter::dropClosedConnections() {
    connections_.remove_if([](const Connection& connection) { return connection.fd < 0; });
}

}  // namespace orb::sim
