#include "sim/simulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>

#include "sim/device_pages.h"
#include "sim/digest_server.h"
#include "sim/firmware_check.h"
#include "sim/sha256.h"

namespace orb::sim {

namespace {

constexpr int64_t kNever = std::numeric_limits<int64_t>::max();
constexpr int64_t kRequestTimeoutMs = 30000;
constexpr size_t kNoncesKept = 64;

int64_t monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

sockaddr_in makeAddress(uint32_t address, uint16_t port) {
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_addr.s_addr = htonl(address);
    socketAddress.sin_port = htons(port);
    return socketAddress;
}

std::string peerText(const sockaddr_in& socketAddress) {
    return formatDottedAddress(ntohl(socketAddress.sin_addr.s_addr)) + ":" +
           std::to_string(ntohs(socketAddress.sin_port));
}

const char* signalName(int signalNumber) {
    switch (signalNumber) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        default: return "other";
    }
}

Simulator* gSignalTarget = nullptr;

void onStopSignal(int signalNumber) {
    if (gSignalTarget != nullptr) gSignalTarget->requestStop(signalNumber);
}

}  // namespace

std::string describeBindError(int err, uint32_t address, uint16_t port) {
    std::string where = formatDottedAddress(address) + ":" + std::to_string(port);
    std::string text = "cannot listen on " + where + ": " + std::strerror(err);
    if (err == EACCES && port < 1024) {
        text +=
            ". Ports below 1024 need root or the CAP_NET_BIND_SERVICE capability: run orb-sim as root, give it the "
            "capability once with 'sudo setcap cap_net_bind_service=+ep /path/to/orb-sim', or choose another port "
            "with --http-port";
    } else if (err == EADDRINUSE) {
        text += ". Another program (perhaps another orb-sim) listens there already";
    } else if (err == EADDRNOTAVAIL) {
        text += ". The address is not one of this machine's: every 127.x.y.z is, other addresses must be "
                "configured on an interface first";
    }
    return text;
}

Simulator::Simulator(SimConfig config, EventLog* log) : config_(std::move(config)), log_(log) {
    if (!config_.seedGiven) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        config_.seed = static_cast<uint64_t>(now.tv_sec) * 1000000007ull + static_cast<uint64_t>(now.tv_nsec) +
                       static_cast<uint64_t>(getpid());
    }
    config_.faults.seed = config_.seed;
    int ends[2];
    if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) == 0) {
        wakeRead_ = ends[0];
        wakeWrite_ = ends[1];
    }
    nonces_.push_back(makeNonce());
}

Simulator::~Simulator() {
    if (gSignalTarget == this) gSignalTarget = nullptr;
    for (Connection& connection : connections_) ::close(connection.fd);
    closeListener();
    if (tftpFd_ >= 0) ::close(tftpFd_);
    if (wakeRead_ >= 0) ::close(wakeRead_);
    if (wakeWrite_ >= 0) ::close(wakeWrite_);
}

void Simulator::installSignalHandlers(Simulator* simulator) {
    gSignalTarget = simulator;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

void Simulator::requestStop(int signalNumber) {
    stopSignal_ = signalNumber;
    if (wakeWrite_ >= 0) {
        char byte = 1;
        ssize_t ignored = ::write(wakeWrite_, &byte, 1);
        (void)ignored;
    }
}

bool Simulator::openListener(std::string* error) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = std::string("cannot create the web server's socket: ") + std::strerror(errno);
        return false;
    }
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in local = makeAddress(config_.address, config_.httpPort);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || ::listen(fd, 16) != 0) {
        int err = errno;
        ::close(fd);
        *error = describeBindError(err, config_.address, config_.httpPort);
        return false;
    }
    listenFd_ = fd;
    return true;
}

void Simulator::closeListener() {
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = -1;
}

bool Simulator::start(std::string* error) {
    if (wakeRead_ < 0) {
        *error = "cannot create the wake-up pipe";
        return false;
    }
    if (!openListener(error)) {
        log_->write(EventLine("error").add("message", *error));
        return false;
    }
    log_->write(EventLine("listening")
                    .add("address", formatDottedAddress(config_.address))
                    .add("port", unsigned{config_.httpPort})
                    .add("auth", config_.authEnabled ? "digest" : "off")
                    .add("software-version", config_.identity.softwareVersion));
    return true;
}

std::string Simulator::makeNonce() {
    return sha256Hex(std::to_string(config_.seed) + ":" + std::to_string(boot_) + ":" +
                     std::to_string(nonceCounter_++))
        .substr(0, 32);
}

std::string Simulator::issueNonce() {
    if (config_.noncePolicy == NoncePolicy::Fixed) return nonces_.front();
    nonces_.push_back(makeNonce());
    if (nonces_.size() > kNoncesKept) nonces_.erase(nonces_.begin());
    return nonces_.back();
}

bool Simulator::nonceIsCurrent(const std::string& nonce) const {
    for (const std::string& known : nonces_) {
        if (known == nonce) return true;
    }
    return false;
}

bool Simulator::matches(const HttpTargets& targets, const std::string& route) const {
    return targets.all || (targets.status && route == "status") || (targets.trigger && route == "trigger") ||
           (targets.afterRestart && restarted_);
}

void Simulator::acceptConnections(int64_t nowMs) {
    for (;;) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        Connection connection;
        connection.fd = fd;
        connection.peer = peerText(peer);
        connection.dueMs = nowMs + kRequestTimeoutMs;
        connections_.push_back(std::move(connection));
    }
}

void Simulator::readFrom(Connection& connection, int64_t nowMs) {
    char chunk[4096];
    bool ended = false;  // the client has closed its end, or the connection failed
    for (;;) {
        ssize_t got = ::recv(connection.fd, chunk, sizeof chunk, 0);
        if (got > 0) {
            if (connection.phase == Connection::Phase::Reading) connection.received.append(chunk, static_cast<size_t>(got));
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
                    log_->write(EventLine("http-bad-request").add("peer", connection.peer).add("reason", "incomplete request"));
                }
                closeConnection(connection);
                return;
            case ParseStatus::Bad:
                log_->write(
                    EventLine("http-bad-request").add("peer", connection.peer).add("reason", error).add("status", 400));
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
        log_->write(EventLine("http-client-closed").add("peer", connection.peer));
    }
    closeConnection(connection);
}

void Simulator::handleRequest(Connection& connection, const HttpRequest& request, int64_t nowMs) {
    std::string path = request.path();
    std::string route = path == kStatusPath ? "status" : path == kTriggerPath ? "trigger" : "other";
    EventLine line("http-request");
    line.add("peer", connection.peer).add("method", request.method).add("target", request.target).add("route", route);

    bool authorized = true;
    if (config_.authEnabled) {
        const std::string* header = request.header("Authorization");
        if (header == nullptr) {
            authorized = false;
            line.add("auth", "missing");
        } else {
            AuthorizationHeader parsed = parseAuthorizationHeader(*header);
            DigestVerdict verdict = verifyDigestAuthorization(
                config_.digest, parsed, request.method, request.target,
                [this](const std::string& nonce) { return nonceIsCurrent(nonce); });
            authorized = verdict.accepted;
            line.add("auth", verdict.accepted ? "ok" : "refused");
            if (!verdict.accepted) line.add("reason", verdict.reason);
            if (!verdict.variant.empty()) line.add("variant", verdict.variant);
            for (const char* name : {"nonce", "nc", "qop", "uri", "cnonce", "algorithm"}) {
                if (const DigestDirective* directive = parsed.find(name)) line.add(name, directive->value);
            }
        }
    } else {
        line.add("auth", "off");
    }

    HeaderList headers;
    std::string body;
    int status = 200;
    std::optional<TftpSource> source;
    if (!authorized) {
        status = 401;
        std::string nonce = issueNonce();
        headers.emplace_back("WWW-Authenticate", buildDigestChallenge(config_.digest, nonce));
        headers.emplace_back("Content-Type", "text/html");
        body = "<html><body><h1>401 Unauthorized</h1></body></html>\n";
        line.add("challenge-nonce", nonce);
    } else if (request.method != "GET") {
        status = 405;
        headers.emplace_back("Allow", "GET");
        headers.emplace_back("Content-Type", "text/plain");
        body = "Only GET is supported\n";
    } else if (route == "status") {
        headers.emplace_back("Content-Type", "text/html");
        body = buildStatusPage(config_.identity);
    } else if (route == "trigger") {
        std::string error;
        source = parseTriggerQuery(request.query(), &error);
        headers.emplace_back("Content-Type", "text/html");
        if (!source) {
            status = 400;
            line.add("reason", error);
            body = "<html><body>Bad upgrade request: " + error + "</body></html>\n";
        } else if (fetch_ && !fetch_->finished() && !fetch_->imageComplete()) {
            status = 503;
            line.add("reason", "a fetch is in progress");
            body = "<html><body>Upgrade already in progress</body></html>\n";
            source.reset();
        } else {
            body = "<html><body>Upgrade started</body></html>\n";
        }
    } else {
        status = 404;
        headers.emplace_back("Content-Type", "text/html");
        body = "<html><body><h1>404 Not Found</h1></body></html>\n";
    }
    line.add("status", status);

    enum class Answer { Now, Delayed, None, Close };
    Answer answer = Answer::Now;
    bool fetch = source.has_value();
    if (matches(config_.noAnswer, route)) {
        answer = Answer::None;
        fetch = fetch && config_.fetchWithoutAnswer;
    } else if (matches(config_.closeWithoutAnswer, route)) {
        answer = Answer::Close;
        fetch = fetch && config_.fetchWithoutAnswer;
    } else if (config_.httpDelayMs > 0 && matches(config_.httpDelayTargets, route)) {
        answer = Answer::Delayed;
        line.add("delay-ms", config_.httpDelayMs);
    }
    static const char* const kAnswerNames[] = {"now", "delayed", "none", "close"};
    line.add("answer", kAnswerNames[static_cast<int>(answer)]);
    log_->write(line);

    if (source) {
        log_->write(EventLine("trigger")
                        .add("server", formatDottedAddress(source->address) + ":" + std::to_string(source->port))
                        .add("file", source->fileName)
                        .add("fetch", fetch ? "yes" : "no"));
        if (fetch && config_.fetchDelayMs > 0) {
            delayedFetch_ = std::make_unique<TftpSource>(*source);
            delayedFetchMs_ = nowMs + config_.fetchDelayMs;
        } else if (fetch) {
            startFetch(*source, nowMs);
        }
    }

    connection.status = status;
    connection.response = buildHttpResponse(status, headers, body);
    switch (answer) {
        case Answer::Now: beginWriting(connection); break;
        case Answer::Delayed:
            connection.phase = Connection::Phase::Delaying;
            connection.dueMs = nowMs + config_.httpDelayMs;
            break;
        case Answer::None: connection.phase = Connection::Phase::Silent; break;
        case Answer::Close: closeConnection(connection); break;
    }
}

void Simulator::beginWriting(Connection& connection) {
    connection.phase = Connection::Phase::Writing;
    connection.sent = 0;
    writeTo(connection);
}

void Simulator::writeTo(Connection& connection) {
    while (connection.sent < connection.response.size()) {
        ssize_t put = ::send(connection.fd, connection.response.data() + connection.sent,
                             connection.response.size() - connection.sent, MSG_NOSIGNAL);
        if (put > 0) {
            connection.sent += static_cast<size_t>(put);
            continue;
        }
        if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;  // wait for POLLOUT
        break;  // the client has gone
    }
    closeConnection(connection);
}

void Simulator::closeConnection(Connection& connection) {
    if (connection.fd < 0) return;
    // Send our FIN first and read what the client may still send, so that the
    // close does not turn into a reset that could cut the answer short.
    ::shutdown(connection.fd, SHUT_WR);
    char sink[1024];
    while (::recv(connection.fd, sink, sizeof sink, 0) > 0) {
    }
    ::close(connection.fd);
    connection.fd = -1;
}

void Simulator::startFetch(const TftpSource& source, int64_t nowMs) {
    if (tftpFd_ >= 0) ::close(tftpFd_);
    tftpQueue_.clear();
    fetch_.reset();
    imageHandled_ = false;
    pauseTaken_ = false;
    pausedUntilMs_ = 0;
    tftpFd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in local = makeAddress(config_.address, 0);
    if (tftpFd_ < 0 || ::bind(tftpFd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        log_->write(EventLine("tftp-failed").add("reason", "socket").add("message", std::strerror(errno)));
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
    fetch_ = std::make_unique<TftpFetch>(settings, [this](const EventLine& line) { log_->write(line); });
    std::vector<TftpDatagram> out;
    fetch_->start(nowMs, &out);
    // The RRQ itself is never delayed: --tftp-delay-ms holds the answers.
    for (const TftpDatagram& datagram : out) {
        sockaddr_in to = makeAddress(tftpServer_, datagram.port);
        ::sendto(tftpFd_, datagram.bytes.data(), datagram.bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
}

void Simulator::flushTftp(std::vector<TftpDatagram>& out, int64_t nowMs) {
    if (config_.pauseAfterBlock >= 0 && !pauseTaken_ && fetch_ &&
        fetch_->blocksReceived() >= static_cast<uint64_t>(config_.pauseAfterBlock)) {
        pauseTaken_ = true;
        pausedUntilMs_ = nowMs + config_.pauseMs;
        log_->write(EventLine("tftp-pause").add("block", fetch_->blocksReceived()).add("ms", config_.pauseMs));
    }
    for (TftpDatagram& datagram : out) {
        int64_t due = std::max(nowMs + config_.tftpDelayMs + datagram.holdMs, pausedUntilMs_);
        tftpQueue_.push_back({due, std::move(datagram)});
    }
    out.clear();
    sendDueTftp(nowMs);
}

void Simulator::sendDueTftp(int64_t nowMs) {
    // In the order queued, except that a held packet (--ack-echo-ms) lets the
    // ones behind it pass.
    for (auto it = tftpQueue_.begin(); it != tftpQueue_.end();) {
        if (it->dueMs > nowMs) {
            ++it;
            continue;
        }
        const TftpDatagram& datagram = it->datagram;
        if (tftpFd_ >= 0) {
            sockaddr_in to = makeAddress(tftpServer_, datagram.port);
            ::sendto(tftpFd_, datagram.bytes.data(), datagram.bytes.size(), 0, reinterpret_cast<sockaddr*>(&to),
                     sizeof to);
        }
        it = tftpQueue_.erase(it);
    }
}

void Simulator::readTftp(int64_t nowMs) {
    uint8_t packet[2048];
    std::vector<TftpDatagram> out;
    for (;;) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        ssize_t got = ::recvfrom(tftpFd_, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (got < 0) break;
        if (!fetch_) continue;
        fetch_->receive(packet, static_cast<size_t>(got), ntohl(from.sin_addr.s_addr), ntohs(from.sin_port), nowMs, &out);
        flushTftp(out, nowMs);
        afterTftpEvent(nowMs);
        if (tftpFd_ < 0) break;
    }
}

void Simulator::afterTftpEvent(int64_t nowMs) {
    if (!fetch_) return;
    if (fetch_->imageComplete() && !imageHandled_) {
        imageHandled_ = true;
        acceptImage(nowMs);
    }
    // Keep the socket until every held answer has gone out.
    if (fetch_->finished() && tftpQueue_.empty()) {
        if (tftpFd_ >= 0) ::close(tftpFd_);
        tftpFd_ = -1;
    }
}

void Simulator::acceptImage(int64_t nowMs) {
    const std::vector<uint8_t>& image = fetch_->image();
    ImageCheck check = checkFirmwareImage(image, fetch_->announcedSize(), config_.magic);
    EventLine line("image-received");
    line.add("size", uint64_t{image.size()});
    line.add("tsize", fetch_->announcedSize() ? std::to_string(*fetch_->announcedSize()) : std::string("none"));
    line.add("sha256", sha256Hex(image.data(), image.size()));
    line.add("version", check.version);
    line.add("check", check.verdict);
    log_->write(line);
    if (!config_.saveImagePath.empty()) {
        std::ofstream file(config_.saveImagePath, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        file.close();
        if (file) {
            log_->write(EventLine("image-saved").add("path", config_.saveImagePath));
        } else {
            log_->write(EventLine("error").add("message", "cannot write " + config_.saveImagePath));
        }
    }
    if (check.ok()) goDown(check.version, nowMs);
}

void Simulator::goDown(const std::string& newVersion, int64_t nowMs) {
    closeListener();
    for (Connection& connection : connections_) closeConnection(connection);
    down_ = true;
    pendingVersion_ = config_.versionAfterRestart.empty() ? newVersion : config_.versionAfterRestart;
    upAtMs_ = config_.stayDown ? kNever : nowMs + config_.restartMs;
    log_->write(EventLine("restart-down")
                    .add("down-ms", config_.stayDown ? std::string("forever") : std::to_string(config_.restartMs)));
}

bool Simulator::comeUp() {
    config_.identity.softwareVersion = pendingVersion_;
    if (config_.restartWithoutVersion) config_.identity.showsSoftwareVersion = false;
    ++boot_;
    nonces_.clear();
    nonces_.push_back(makeNonce());
    std::string error;
    if (!openListener(&error)) {
        log_->write(EventLine("error").add("message", error));
        return false;
    }
    down_ = false;
    restarted_ = true;
    log_->write(EventLine("restart-up")
                    .add("software-version", config_.identity.softwareVersion)
                    .add("address", formatDottedAddress(config_.address))
                    .add("port", unsigned{config_.httpPort}));
    return true;
}

int64_t Simulator::nextDeadline() const {
    int64_t deadline = kNever;
    for (const Connection& connection : connections_) {
        if (connection.phase == Connection::Phase::Reading || connection.phase == Connection::Phase::Delaying)
            deadline = std::min(deadline, connection.dueMs);
    }
    if (down_) deadline = std::min(deadline, upAtMs_);
    if (delayedFetch_) deadline = std::min(deadline, delayedFetchMs_);
    if (fetch_) deadline = std::min(deadline, fetch_->deadline());
    for (const QueuedDatagram& queued : tftpQueue_) deadline = std::min(deadline, queued.dueMs);
    return deadline;
}

void Simulator::drainWakePipe() {
    char buffer[64];
    while (::read(wakeRead_, buffer, sizeof buffer) > 0) {
    }
}

int Simulator::run() {
    int exitStatus = 0;
    for (;;) {
        int64_t nowMs = monotonicMs();

        // Timers.
        if (down_ && nowMs >= upAtMs_) {
            if (!comeUp()) {
                exitStatus = 1;
                break;
            }
        }
        for (Connection& connection : connections_) {
            if (connection.fd < 0 || nowMs < connection.dueMs) continue;
            if (connection.phase == Connection::Phase::Delaying) {
                log_->write(EventLine("http-answer").add("peer", connection.peer).add("status", connection.status));
                beginWriting(connection);
            } else if (connection.phase == Connection::Phase::Reading) {
                log_->write(EventLine("http-bad-request").add("peer", connection.peer).add("reason", "no complete request in time"));
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
        connections_.remove_if([](const Connection& connection) { return connection.fd < 0; });

        // Wait.
        std::vector<pollfd> fds;
        fds.push_back({wakeRead_, POLLIN, 0});
        if (listenFd_ >= 0) fds.push_back({listenFd_, POLLIN, 0});
        int tftpIndex = -1;
        if (tftpFd_ >= 0) {
            tftpIndex = static_cast<int>(fds.size());
            fds.push_back({tftpFd_, POLLIN, 0});
        }
        size_t firstConnection = fds.size();
        std::vector<Connection*> polled;
        for (Connection& connection : connections_) {
            short events = connection.phase == Connection::Phase::Writing ? POLLOUT
                           : connection.phase == Connection::Phase::Delaying ? 0
                                                                             : POLLIN;
            fds.push_back({connection.fd, events, 0});
            polled.push_back(&connection);
        }
        int64_t deadline = nextDeadline();
        int timeout = deadline == kNever ? 1000 : static_cast<int>(std::clamp<int64_t>(deadline - nowMs, 0, 1000));
        int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR) {
            log_->write(EventLine("error").add("message", std::string("poll: ") + std::strerror(errno)));
            exitStatus = 1;
            break;
        }
        if (ready > 0 && fds[0].revents != 0) {
            drainWakePipe();
            break;
        }
        if (ready <= 0) continue;
        nowMs = monotonicMs();

        if (listenFd_ >= 0 && fds[1].fd == listenFd_ && (fds[1].revents & POLLIN)) acceptConnections(nowMs);
        if (tftpIndex >= 0 && fds[tftpIndex].revents != 0 && tftpFd_ >= 0) readTftp(nowMs);
        for (size_t i = 0; i < polled.size(); ++i) {
            Connection& connection = *polled[i];
            short revents = fds[firstConnection + i].revents;
            if (connection.fd < 0 || revents == 0) continue;
            if (connection.phase == Connection::Phase::Writing) {
                if (revents & (POLLOUT | POLLERR | POLLHUP)) writeTo(connection);
            } else {
                readFrom(connection, nowMs);
            }
        }
    }
    if (exitStatus == 0) {
        int signalNumber = stopSignal_;
        log_->write(EventLine("stopped").add("signal", signalName(signalNumber)));
    }
    return exitStatus;
}

}  // namespace orb::sim
