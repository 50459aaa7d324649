// udp-pingpong: the lock-step floor of a TFTP transfer on loopback. One side
// (pinned where the server runs) sends a 516-byte datagram, like a DATA block,
// and waits for a 4-byte reply, like its ACK, from the other side (pinned where
// the client runs). Both block in recv, so nothing but the two sends, the two
// wake-ups and the copies is in a round trip.
//
//   udp-pingpong --address 127.0.11.9 --server-cpu N --client-cpu M [--count 2000] [--warmup 200]
//
// Prints one line: "rtt_ns MEDIAN p10 P10 p90 P90 count N".
#include <arpa/inet.h>
#include <netinet/in.h>
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

namespace {

constexpr int kDataSize = 516;
constexpr int kAckSize = 4;

long long monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

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

// Datagram sockets that only ever talk to each other: connect both ways.
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
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        const char* value = argv[i + 1];
        if (option == "--address") address = value;
        else if (option == "--server-cpu") serverCpu = std::atoi(value);
        else if (option == "--client-cpu") clientCpu = std::atoi(value);
        else if (option == "--count") count = std::atoi(value);
        else if (option == "--warmup") warmup = std::atoi(value);
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
    pair(serverFd, clientAddress);
    pair(clientFd, serverAddress);

    pid_t echo = fork();
    if (echo == 0) {
        // The client's side: answer every block with an ACK until the empty datagram.
        pin(clientCpu);
        close(serverFd);
        char block[1024];
        char ack[kAckSize] = {0, 4, 0, 0};
        for (;;) {
            ssize_t got = recv(clientFd, block, sizeof block, 0);
            if (got <= 0) _exit(0);
            send(clientFd, ack, sizeof ack, 0);
        }
    }
    pin(serverCpu);
    close(clientFd);
    char block[kDataSize];
    std::memset(block, 0x5a, sizeof block);
    block[0] = 0;
    block[1] = 3;
    char ack[64];
    std::vector<long long> rtts;
    rtts.reserve(static_cast<size_t>(count));
    for (int i = 0; i < warmup + count; ++i) {
        long long start = monotonicNs();
        send(serverFd, block, sizeof block, 0);
        if (recv(serverFd, ack, sizeof ack, 0) != kAckSize) {
            std::fputs("lost reply\n", stderr);
            kill(echo, SIGKILL);
            return 1;
        }
        if (i >= warmup) rtts.push_back(monotonicNs() - start);
    }
    send(serverFd, block, 0, 0);
    waitpid(echo, nullptr, 0);
    std::sort(rtts.begin(), rtts.end());
    auto at = [&](double q) { return rtts[static_cast<size_t>(q * static_cast<double>(rtts.size() - 1))]; };
    std::printf("rtt_ns %lld p10 %lld p90 %lld count %zu\n", at(0.5), at(0.1), at(0.9), rtts.size());
    return 0;
}
