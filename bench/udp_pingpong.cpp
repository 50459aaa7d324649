// udp-pingpong: the lock-step floor of a TFTP transfer on loopback. One side
// (pinned where the server runs) sends a 516-byte datagram, like a DATA block,
// and waits for a 4-byte reply, like its ACK, from the other side (pinned where
// the client runs). Both block in recvfrom, so nothing but the two sends, the
// two wake-ups and the copies is in a round trip. The sockets are not
// connected: each datagram is addressed, as a TFTP server and client do.
//
//   udp-pingpong --address 127.0.11.9 --server-cpu N --client-cpu M [--count 2000] [--warmup 200]
//                [--wait block|poll|poll1] [--connected yes|no]
//
// --wait says how the sending side waits for the reply: a blocking recv (the
// floor, default), or as a polling server does, a non-blocking recv first and
// then poll() without a time-out ("poll") or with 1 ms ("poll1"), then recv.
// --connected yes connects both sockets (no address per datagram).
//
// Prints one line: "rtt_ns MEDIAN p10 P10 p90 P90 mean MEAN count N".
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/monotonic_clock.h"

namespace {

constexpr int kDataSize = 516;
constexpr int kAckSize = 4;

void pin(int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    if (sched_setaffinity(0, sizeof set, &set) != 0) {
        std::perror("sched_setaffinity");
        std::exit(1);
    }
}

int boundSocket(in_addr_t address, sockaddr_in* bound) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = address;
    local.sin_port = 0;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        std::perror("bind");
        std::exit(1);
    }
    socklen_t length = sizeof *bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(bound), &length);
    return fd;
}

// For --connected: datagram sockets that only ever talk to each other.
void pair(int fd, const sockaddr_in& peer) {
    if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        std::perror("connect");
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string address = "127.0.11.9";
    int serverCpu = 0, clientCpu = 0, count = 2000, warmup = 200;
    std::string wait = "block";
    bool connected = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        const char* value = argv[i + 1];
        if (option == "--address")
            address = value;
        else if (option == "--server-cpu")
            serverCpu = std::atoi(value);
        else if (option == "--client-cpu")
            clientCpu = std::atoi(value);
        else if (option == "--count")
            count = std::atoi(value);
        else if (option == "--warmup")
            warmup = std::atoi(value);
        else if (option == "--wait")
            wait = value;
        else if (option == "--connected")
            connected = std::string(value) == "yes";
        else {
            std::fprintf(stderr, "unknown option %s\n", option.c_str());
            return 2;
        }
    }
    in_addr_t host = inet_addr(address.c_str());
    if ((ntohl(host) >> 24) != 127) {
        std::fputs("loopback addresses only\n", stderr);
        return 2;
    }
    sockaddr_in serverAddress{}, clientAddress{};
    int serverFd = boundSocket(host, &serverAddress);
    int clientFd = boundSocket(host, &clientAddress);
    if (connected) {
        pair(serverFd, clientAddress);
        pair(clientFd, serverAddress);
    }

    pid_t echo = fork();
    if (echo == 0) {
        // The client's side: answer every block with an ACK until the empty datagram.
        pin(clientCpu);
        close(serverFd);
        char block[1024];
        char ack[kAckSize] = {0, 4, 0, 0};
        for (;;) {
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            ssize_t got = recvfrom(clientFd, block, sizeof block, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (got <= 0) _exit(0);
            sendto(clientFd, ack, sizeof ack, 0, reinterpret_cast<sockaddr*>(&from), fromLength);
        }
    }
    pin(serverCpu);
    close(clientFd);
    char block[kDataSize];
    std::memset(block, 0x5a, sizeof block);
    block[0] = 0;
    block[1] = 3;
    char ack[64];
    const sockaddr* to = reinterpret_cast<const sockaddr*>(&clientAddress);
    std::vector<long long> rtts;
    rtts.reserve(static_cast<size_t>(count));
    for (int i = 0; i < warmup + count; ++i) {
        long long start = monotonicNs();
        sendto(serverFd, block, sizeof block, 0, to, sizeof clientAddress);
        ssize_t got;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        if (wait == "block") {
            got = recvfrom(serverFd, ack, sizeof ack, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        } else {
            int timeoutMs = wait == "poll1" ? 1 : -1;
            while ((got = recvfrom(serverFd, ack, sizeof ack, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                                   &fromLength)) < 0) {
                pollfd entry{serverFd, POLLIN, 0};
                poll(&entry, 1, timeoutMs);
            }
        }
        if (got != kAckSize) {
            std::fputs("lost reply\n", stderr);
            kill(echo, SIGKILL);
            return 1;
        }
        if (i >= warmup) rtts.push_back(monotonicNs() - start);
    }
    sendto(serverFd, block, 0, 0, to, sizeof clientAddress);
    waitpid(echo, nullptr, 0);
    std::sort(rtts.begin(), rtts.end());
    auto at = [&](double q) { return rtts[static_cast<size_t>(q * static_cast<double>(rtts.size() - 1))]; };
    long long total = 0;
    for (long long rtt : rtts) total += rtt;
    std::printf("rtt_ns %lld p10 %lld p90 %lld mean %lld count %zu\n", at(0.5), at(0.1), at(0.9),
                total / static_cast<long long>(rtts.size()), rtts.size());
    return 0;
}
