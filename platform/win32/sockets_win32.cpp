#include "platform/sockets.h"

namespace orb {

namespace {

const sockaddr* asAddress(const sockaddr_in* address) { return reinterpret_cast<const sockaddr*>(address); }

SocketHandle openSocket(SocketType type) {
    return ::socket(AF_INET, type == SocketType::Stream ? SOCK_STREAM : SOCK_DGRAM, 0);
}

int bindSocket(SocketHandle socket, const sockaddr_in* address) {
    return ::bind(socket, asAddress(address), sizeof *address) == 0 ? 0 : -1;
}

int connectSocket(SocketHandle socket, const sockaddr_in* address) {
    return ::connect(socket, asAddress(address), sizeof *address) == 0 ? 0 : -1;
}

int sendBytes(SocketHandle socket, const char* bytes, int length) { return ::send(socket, bytes, length, 0); }

int receiveBytes(SocketHandle socket, char* bytes, int capacity) { return ::recv(socket, bytes, capacity, 0); }

int sendDatagramTo(SocketHandle socket, const char* bytes, int length, const sockaddr_in* peer) {
    return ::sendto(socket, bytes, length, 0, asAddress(peer), sizeof *peer);
}

// A datagram longer than the area fails with WSAEMSGSIZE: -1.
int receiveDatagramFrom(SocketHandle socket, char* bytes, int capacity, sockaddr_in* source) {
    SockLen sourceLength = sizeof *source;
    return ::recvfrom(socket, bytes, capacity, 0, reinterpret_cast<sockaddr*>(source), &sourceLength);
}

void closeSystemSocket(SocketHandle socket) { closesocket(socket); }

bool setSystemNonBlocking(SocketHandle socket, bool nonBlocking) {
    u_long value = nonBlocking ? 1 : 0;
    return ioctlsocket(socket, FIONBIO, &value) == 0;
}

// Without a socket it is a plain sleep (Winsock's select wants at least one).
bool waitSystemReadable(SocketHandle socket, int timeoutMs) {
    if (socket == kInvalidSocket) {
        Sleep(static_cast<DWORD>(timeoutMs));
        return false;
    }
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &timeout) > 0;
}

// Nothing is set: Windows' SO_REUSEADDR would let the port search take a
// port that another program's socket is using at that moment, and the
// exchanges of both would go astray. The search goes on to the next port
// instead, as it always has; in a batch, a run whose search finds none waits
// for another turn without its connecting window.
bool allowSystemAddressReuse(SocketHandle) { return true; }

}  // namespace

SocketCalls systemSocketCalls() {
    return {openSocket,           bindSocket,         connectSocket,          sendBytes,
            receiveBytes,         sendDatagramTo,     receiveDatagramFrom,    closeSystemSocket,
            setSystemNonBlocking, waitSystemReadable, allowSystemAddressReuse};
}

bool startNetworking() {
    WSADATA data;
    return WSAStartup(MAKEWORD(1, 1), &data) == 0;
}

}  // namespace orb
