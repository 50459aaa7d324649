// orb-rrq-thief: a host on the LAN that tries to take the image meant for the
// adapter. It guesses the run's file name by sending a read request for every
// name the program can draw ("/orb0.bin" .. "/orb7fff.bin") to each of the
// listener's likely ports, and plays a TFTP client towards whatever answers
// (ACK 0 for an OACK, ACK k for DATA k), so that a listener that took it for
// the adapter would hand it the whole image.
//
//   orb-rrq-thief --from 127.x.y.z --to 127.x.y.z [--ports 69-72] [--sweeps N]
//                 [--ack-delay-ms MS]
//
// --ack-delay-ms holds each DATA's ACK back, so that a transfer it won lasts
// long enough for another request to come during it.
//
// It writes orb-sim's event lines (sim/event_log.h), so tests read it with the
// same driver (tests/support/sim_process.h):
//   event=listening address=A          bound, about to send
//   event=swept sweep=K requests=N     one sweep of every name and port sent
//   event=reply opcode=N from=A:P length=L   a datagram came back (first 100)
//   event=summary requests=N replies=N oack=N data=N bytes=N
//                                      on SIGTERM or SIGINT, then exit 0
// After its sweeps it keeps answering until it is stopped. Loopback only.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/socket_address.h"
#include "base/ipv4_text.h"
#include "sim/event_log.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onStop(int) { stopRequested = 1; }

struct Counts {
    long requests = 0;
    long replies = 0;
    long oack = 0;
    long data = 0;
    long bytes = 0;
};

bool parseLoopback(const char* text, uint32_t* address) {
    unsigned a, b, c, d;
    char tail;
    if (std::sscanf(text, "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) != 4 || a != 127 || b > 255 || c > 255 || d > 255)
        return false;
    *address = a << 24 | b << 16 | c << 8 | d;
    return true;
}

void sendAck(int fd, unsigned block, const sockaddr_in& to) {
    uint8_t ack[4] = {0, 4, static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block)};
    ::sendto(fd, ack, sizeof ack, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

// Takes whatever came back, as a client would: an OACK is acknowledged with
// ACK 0, DATA k with ACK k, so that a listener that served us goes on.
// The descriptor and the wait as poll() takes them, then the delay before each ACK.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
void answerReplies(int fd, int waitMs, int ackDelayMs, Counts* counts, orb::sim::EventLog* log) {
    pollfd readable{fd, POLLIN, 0};
    if (::poll(&readable, 1, waitMs) <= 0) return;
    uint8_t packet[1024];
    for (;;) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        ssize_t got = ::recvfrom(fd, packet, sizeof packet, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &length);
        if (got < 0) return;
        ++counts->replies;
        unsigned opcode = got >= 2 ? (packet[0] << 8 | packet[1]) : 0;
        if (counts->replies <= 100)
            log->write(orb::sim::EventLine("reply")
                           .add("opcode", opcode)
                           .add("from", orb::formatIPv4(ntohl(from.sin_addr.s_addr)) + ":" +
                                            std::to_string(ntohs(from.sin_port)))
                           .add("length", static_cast<int64_t>(got)));
        if (opcode == 6) {
            ++counts->oack;
            sendAck(fd, 0, from);
        } else if (opcode == 3 && got >= 4) {
            ++counts->data;
            counts->bytes += got - 4;
            if (ackDelayMs > 0) ::poll(nullptr, 0, ackDelayMs);
            sendAck(fd, static_cast<unsigned>(packet[2] << 8 | packet[3]), from);
        }
    }
}

// A read request for the name a draw of the program's file name would give;
// its length.
size_t buildRequest(unsigned draw, char (&request)[64]) {
    request[0] = 0;
    request[1] = 1;
    int nameLength = std::snprintf(request + 2, sizeof request - 2, "/orb%x.bin", draw);
    std::memcpy(request + 2 + nameLength + 1, "octet", 6);
    return 2 + static_cast<size_t>(nameLength) + 1 + 6;
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t fromAddress = 0, toAddress = 0;
    unsigned firstPort = 69, lastPort = 72;
    long sweeps = 1;
    int ackDelayMs = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        const char* value = argv[i + 1];
        bool ok = true;
        if (option == "--from") {
            ok = parseLoopback(value, &fromAddress);
        } else if (option == "--to") {
            ok = parseLoopback(value, &toAddress);
        } else if (option == "--ports") {
            ok = std::sscanf(value, "%u-%u", &firstPort, &lastPort) == 2 && firstPort > 0 && lastPort < 65536 &&
                 firstPort <= lastPort;
        } else if (option == "--ack-delay-ms") {
            ackDelayMs = std::atoi(value);
            ok = ackDelayMs >= 0 && ackDelayMs <= 1000;
        } else if (option == "--sweeps") {
            sweeps = std::atol(value);
            ok = sweeps >= 1;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "orb-rrq-thief: bad %s %s\n", option.c_str(), value);
            return 2;
        }
    }
    if (fromAddress == 0 || toAddress == 0 || argc % 2 == 0) {
        std::fputs(
            "usage: orb-rrq-thief --from 127.x.y.z --to 127.x.y.z [--ports 69-72] [--sweeps N] [--ack-delay-ms MS]\n",
            stderr);
        return 2;
    }
    struct sigaction stop {};
    stop.sa_handler = onStop;
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);

    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local = orb::makeSockaddr(fromAddress, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        std::perror("orb-rrq-thief: socket");
        return 1;
    }
    orb::sim::EventLog log(stdout);
    Counts counts;
    log.write(orb::sim::EventLine("listening").add("address", orb::formatIPv4(fromAddress)));

    for (long sweep = 1; sweep <= sweeps && !stopRequested; ++sweep) {
        for (unsigned draw = 0; draw <= 0x7fff && !stopRequested; ++draw) {
            char request[64];
            size_t length = buildRequest(draw, request);
            for (unsigned port = firstPort; port <= lastPort; ++port) {
                sockaddr_in to = orb::makeSockaddr(toAddress, static_cast<uint16_t>(port));
                ::sendto(fd, request, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
                ++counts.requests;
            }
            // Paced, so that the listener's receive queue never overflows and
            // every name reaches it: a listener that serves any host takes one.
            if (draw % 64 == 63) answerReplies(fd, 1, ackDelayMs, &counts, &log);
        }
        if (stopRequested) break;  // a sweep cut short is not one
        log.write(orb::sim::EventLine("swept")
                      .add("sweep", static_cast<int64_t>(sweep))
                      .add("requests", static_cast<int64_t>(counts.requests)));
    }
    while (!stopRequested) answerReplies(fd, 100, ackDelayMs, &counts, &log);
    log.write(orb::sim::EventLine("summary")
                  .add("requests", static_cast<int64_t>(counts.requests))
                  .add("replies", static_cast<int64_t>(counts.replies))
                  .add("oack", static_cast<int64_t>(counts.oack))
                  .add("data", static_cast<int64_t>(counts.data))
                  .add("bytes", static_cast<int64_t>(counts.bytes)));
    ::close(fd);
    return 0;
}
