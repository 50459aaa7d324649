#include "tests/sim/sim_test_helpers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/socket_address.h"
#include "base/hex.h"
#include "web/md5.h"
#include "tests/support/monotonic_clock.h"

namespace orb::test {

namespace {

std::string md5Of(const std::string& text, uint8_t raw[16] = nullptr) {
    uint8_t digest[16];
    Md5Context context;
    md5Init(&context);
    md5Update(&context, text.data(), text.size());
    md5Final(digest, &context);
    if (raw != nullptr) std::memcpy(raw, digest, 16);
    return hexOfBytes(digest, 16);
}

bool sameIgnoringCase(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
    }
    return true;
}

std::string quotedParameter(const std::string& text, const char* name, bool* found) {
    std::string key = std::string(name) + "=\"";
    size_t at = text.find(key);
    *found = at != std::string::npos;
    if (!*found) return {};
    at += key.size();
    size_t end = text.find('"', at);
    return text.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

std::string endpointText(const sockaddr_in& address) {
    char text[32];
    uint32_t host = ntohl(address.sin_addr.s_addr);
    std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", host >> 24, (host >> 16) & 255, (host >> 8) & 255, host & 255,
                  ntohs(address.sin_port));
    return text;
}

// The DATA packet of a block (from 1) of the image, sent in 512-byte blocks.
std::string imageBlock(const std::vector<uint8_t>& image, uint32_t block) {
    const uint32_t blockCount = static_cast<uint32_t>(image.size() / 512 + 1);
    size_t offset = (block - 1) * size_t{512};
    size_t length = block == blockCount ? image.size() % 512 : 512;
    std::string bytes;
    bytes += '\0';
    bytes += '\3';
    bytes += static_cast<char>((block >> 8) & 255);
    bytes += static_cast<char>(block & 255);
    bytes.append(reinterpret_cast<const char*>(image.data()) + offset, length);
    return bytes;
}

// The NUL-ended strings of a read request after its opcode: the file name,
// the mode, then option names and values.
std::vector<std::string> requestStrings(const uint8_t* packet, ssize_t length) {
    std::vector<std::string> strings;
    std::string current;
    for (ssize_t i = 2; i < length; ++i) {
        if (packet[i] == 0) {
            strings.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(packet[i]);
        }
    }
    return strings;
}

}  // namespace

HttpResult rawHttp(uint32_t address, uint16_t port, const std::string& request, int timeoutMs) {
    HttpResult result;
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return result;
    sockaddr_in to = makeSockaddr(address, port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        result.refused = errno == ECONNREFUSED;
        close(fd);
        return result;
    }
    result.connected = true;
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    long long deadline = nowMs() + timeoutMs;
    for (;;) {
        long long left = deadline - nowMs();
        if (left <= 0) {
            result.timedOut = true;
            break;
        }
        pollfd entry{fd, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(left)) <= 0) continue;
        char chunk[4096];
        ssize_t got = recv(fd, chunk, sizeof chunk, 0);
        if (got <= 0) break;
        result.response.append(chunk, static_cast<size_t>(got));
    }
    close(fd);
    return result;
}

std::string utilityRequest(const std::string& path, const std::string& authorizationLine) {
    return "GET " + path + " HTTP/1.1\r\nHost: 192.168.2.110\r\n" + authorizationLine + "\r\n";
}

int statusOf(const std::string& response) {
    if (response.compare(0, 9, "HTTP/1.1 ") != 0 || response.size() < 12) return 0;
    return std::atoi(response.substr(9, 3).c_str());
}

UtilityChallenge readChallengeLikeUtility(const std::string& response) {
    UtilityChallenge challenge;
    size_t header = response.find("WWW-Authenticate:");
    if (header == std::string::npos) return challenge;
    std::string text = response.substr(header);
    bool realm = false, nonce = false, ignored = false;
    challenge.realm = quotedParameter(text, "realm", &realm);
    challenge.nonce = quotedParameter(text, "nonce", &nonce);
    challenge.algorithm = quotedParameter(text, "algorithm", &ignored);
    challenge.qop = quotedParameter(text, "qop", &ignored);
    challenge.opaque = quotedParameter(text, "opaque", &ignored);
    challenge.taken = realm && nonce;
    return challenge;
}

std::string utilityAuthorizationLine(const std::string& user, const std::string& password,
                                     const UtilityChallenge& challenge, uint32_t nc, const std::string& cnonce) {
    // H(A1), MD5-sess over the raw bytes.
    uint8_t raw[16];
    std::string ha1 = md5Of(user + ":" + challenge.realm + ":" + password, raw);
    if (sameIgnoringCase(challenge.algorithm, "md5-sess")) {
        ha1 = md5Of(std::string(reinterpret_cast<char*>(raw), 16) + ":" + challenge.nonce + ":" + cnonce);
    }
    // H(A2) over the empty uri.
    std::string a2 = "GET:";
    if (sameIgnoringCase(challenge.qop, "auth-int")) a2 += ":" + md5Of("");
    std::string ha2 = md5Of(a2);
    char ncText[16] = "";
    if (!challenge.qop.empty()) std::snprintf(ncText, sizeof ncText, "%09x", nc);
    std::string response =
        challenge.qop.empty()
            ? md5Of(ha1 + ":" + challenge.nonce + ":" + ha2)
            : md5Of(ha1 + ":" + challenge.nonce + ":" + ncText + ":" + cnonce + ":" + challenge.qop + ":" + ha2);

    std::string line = "Authorization: Digest username=\"" + user + "\",realm=\"" + challenge.realm + "\",nonce=\"" +
                       challenge.nonce + "\",uri=\"\",algorithm=\"" + challenge.algorithm + "\",response=\"" +
                       response + "\"";
    if (!challenge.opaque.empty()) line += ",opaque=\"" + challenge.opaque + "\"";
    if (!challenge.qop.empty()) line += ",qop=" + challenge.qop + ",nc=" + ncText + ",cnonce=\"" + cnonce + "\"";
    return line + "\r\n";
}

std::string scrapeLikeUtility(const std::string& page, const std::string& label) {
    size_t at = page.find(label);
    if (at == std::string::npos) return {};
    at = page.find('>', at);
    if (at == std::string::npos) return {};
    ++at;
    while (at < page.size() && page[at] == '<') {
        at = page.find('>', at);
        if (at == std::string::npos) return {};
        ++at;
    }
    size_t end = page.find('<', at);
    std::string value = page.substr(at, end == std::string::npos ? std::string::npos : end - at);
    return value.substr(0, 127);
}

ScriptedTftpServer::ScriptedTftpServer(uint32_t address, std::vector<uint8_t> image, ScriptedTftpTiming timing)
    : image_(std::move(image)),
      intervalMs_(timing.intervalMs),
      intervals_(timing.intervals),
      rrqTimeoutMs_(timing.rrqTimeoutMs) {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local = makeSockaddr(address, 0);
    if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0) {
        socklen_t length = sizeof local;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
        port_ = ntohs(local.sin_port);
    }
    thread_ = std::thread([this] { serve(); });
}

ScriptedTftpServer::~ScriptedTftpServer() {
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) close(fd_);
}

TftpServerLog ScriptedTftpServer::finish() {
    if (thread_.joinable()) thread_.join();
    return log_;
}

void ScriptedTftpServer::serve() {
    if (port_ == 0) return;
    uint8_t packet[2048];
    sockaddr_in peer{};
    // The read request.
    long long deadline = nowMs() + rrqTimeoutMs_;
    for (;;) {
        long long left = deadline - nowMs();
        if (left <= 0) return;
        pollfd entry{fd_, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(left)) <= 0) continue;
        socklen_t length = sizeof peer;
        ssize_t got = recvfrom(fd_, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&peer), &length);
        if (got < 4 || packet[0] != 0 || packet[1] != 1) continue;
        std::vector<std::string> strings = requestStrings(packet, got);
        log_.gotRrq = true;
        log_.peer = endpointText(peer);
        if (!strings.empty()) log_.rrqFile = strings[0];
        if (strings.size() > 1) log_.rrqMode = strings[1];
        for (size_t i = 2; i + 1 < strings.size(); i += 2) log_.rrqOptions[strings[i]] = strings[i + 1];
        break;
    }

    auto sendTo = [&](const std::string& bytes) {
        sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&peer), sizeof peer);
    };
    std::string oack =
        std::string("\0\6", 2) + "tsize" + '\0' + std::to_string(image_.size()) + '\0' + "timeout" + '\0' + "5" + '\0';
    const uint32_t blockCount = static_cast<uint32_t>(image_.size() / 512 + 1);
    auto dataPacket = [&](uint32_t block) { return imageBlock(image_, block); };

    uint32_t block = 0;  // the number whose ACK is awaited
    sendTo(oack);
    ++log_.oacksSent;
    int expired = 0;
    long long intervalEnd = nowMs() + intervalMs_;
    for (;;) {
        long long left = intervalEnd - nowMs();
        if (left <= 0) {
            if (++expired >= intervals_) {
                log_.timedOut = true;
                return;
            }
            log_.resends.push_back(block);
            if (block == 0) {
                sendTo(oack);
                ++log_.oacksSent;
            } else {
                sendTo(dataPacket(block));
            }
            intervalEnd = nowMs() + intervalMs_;
            continue;
        }
        pollfd entry{fd_, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(left)) <= 0) continue;
        sockaddr_in from{};
        socklen_t length = sizeof from;
        ssize_t got = recvfrom(fd_, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (got < 4 || from.sin_addr.s_addr != peer.sin_addr.s_addr || from.sin_port != peer.sin_port) continue;
        if (packet[0] != 0 || packet[1] != 4) continue;
        unsigned number = (unsigned{packet[2]} << 8) | packet[3];
        log_.acks.push_back(number);
        if (number != (block & 0xffff)) continue;  // a stray or repeated ACK: discarded
        ++block;
        expired = 0;
        if (block > blockCount) {
            log_.completed = true;
            return;
        }
        sendTo(dataPacket(block));
        intervalEnd = nowMs() + intervalMs_;
    }
}

}  // namespace orb::test
