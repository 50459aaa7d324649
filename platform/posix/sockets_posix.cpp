#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "platform/sockets.h"

namespace orb {

namespace {

const sockaddr* asAddress(const sockaddr_in* address) { return reinterpret_cast<const sockaddr*>(address); }

SocketHandle openSocket(SocketType type) {
    return ::socket(AF_INET, type == SocketType::Stream ? SOCK_STREAM : SOCK_DGRAM, 0);
}

int bindSocket(SocketHandle socket, const sockaddr_in* address) {
    return ::bind(socket, asAddress(address), sizeof *address);
}

int connectSocket(SocketHandle socket, const sockaddr_in* address) {
    return ::connect(socket, asAddress(address), sizeof *address);
}

int sendBytes(SocketHandle socket, const char* bytes, int length) {
    return static_cast<int>(::send(socket, bytes, static_cast<size_t>(length), 0));
}

int receiveBytes(SocketHandle socket, char* bytes, int capacity) {
    return static_cast<int>(::recv(socket, bytes, static_cast<size_t>(capacity), 0));
}

int sendDatagramTo(SocketHandle socket, const char* bytes, int length, const sockaddr_in* peer) {
    return static_cast<int>(::sendto(socket, bytes, static_cast<size_t>(length), 0, asAddress(peer), sizeof *peer));
}

int receiveDatagramFrom(SocketHandle socket, char* bytes, int capacity, sockaddr_in* source) {
    // MSG_TRUNC: a longer datagram reports its real length, so the caller
    // knows it was cut.
    SockLen sourceLength = sizeof *source;
    return static_cast<int>(::recvfrom(socket, bytes, static_cast<size_t>(capacity), MSG_TRUNC,
                                       reinterpret_cast<sockaddr*>(source), &sourceLength));
}

void closeSystemSocket(SocketHandle socket) { ::close(socket); }

bool setSystemNonBlocking(SocketHandle socket, bool nonBlocking) {
    int flags = ::fcntl(socket, F_GETFL, 0);
    if (flags < 0) return false;
    flags = nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return ::fcntl(socket, F_SETFL, flags) == 0;
}

// The parameters mirror poll()'s descriptor then time-out.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
bool waitSystemReadable(SocketHandle socket, int timeoutMs) {
    pollfd entry{socket, POLLIN, 0};
    return ::poll(&entry, 1, timeoutMs) > 0;
}

// SO_REUSEADDR passes a port in TIME-WAIT; a port that another socket holds
// stays taken unless that socket set it too.
bool allowSystemAddressReuse(SocketHandle socket) {
    int on = 1;
    return ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
}

}  // namespace

SocketCalls systemSocketCalls() {
    return {openSocket,           bindSocket,         connectSocket,          sendBytes,
            receiveBytes,         sendDatagramTo,     receiveDatagramFrom,    closeSystemSocket,
            setSystemNonBlocking, waitSystemReadable, allowSystemAddressReuse};
}

bool startNetworking() { return true; }

}  // namespace orb
