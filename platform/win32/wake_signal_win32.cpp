#include <winsock.h>

#include <atomic>

#include "platform/wake_signal.h"

namespace orb {

// Winsock 1.1 has no event that select() can wait for beside a socket, so the
// signal is a datagram socket on the loopback that is connected to itself:
// raising it sends one byte, and the wait's select() sees that byte arrive.
struct WakeSignal {
    SOCKET socket;
    std::atomic<bool> raised{false};  // one byte in flight is enough
};

namespace {

bool startWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(1, 1), &data) == 0;
    }();
    return started;
}

SOCKET openSelfConnectedSocket() {
    SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) return INVALID_SOCKET;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    u_long nonBlocking = 1;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        ::closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

void drain(WakeSignal* signal) {
    // Lowered before the byte is read: a raise that comes in between sends a
    // byte of its own, which ends the next wait.
    signal->raised = false;
    char bytes[16];
    while (::recv(signal->socket, bytes, sizeof bytes, 0) > 0) {}
}

}  // namespace

WakeSignal* createWakeSignal() {
    if (!startWinsock()) return nullptr;
    SOCKET s = openSelfConnectedSocket();
    if (s == INVALID_SOCKET) return nullptr;
    auto* signal = new WakeSignal;
    signal->socket = s;
    return signal;
}

void raiseWakeSignal(WakeSignal* signal) {
    if (signal == nullptr || signal->raised.exchange(true)) return;
    char byte = 1;
    ::send(signal->socket, &byte, 1, 0);
}

void waitForSocketOrSignal(SocketHandle socket, WakeSignal* signal, int timeoutMs) {
    if (timeoutMs < 0) timeoutMs = 0;
    if (socket == kInvalidSocket && signal == nullptr) {
        Sleep(static_cast<DWORD>(timeoutMs));
        return;
    }
    fd_set readable;
    FD_ZERO(&readable);
    if (socket != kInvalidSocket) FD_SET(socket, &readable);
    if (signal != nullptr) FD_SET(signal->socket, &readable);
    timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    if (::select(0, &readable, nullptr, nullptr, &timeout) <= 0) return;
    if (signal != nullptr && FD_ISSET(signal->socket, &readable)) drain(signal);
}

}  // namespace orb
