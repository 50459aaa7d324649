#include "platform/sockets.h"

namespace orb {

bool startNetworking() {
    WSADATA data;
    return WSAStartup(MAKEWORD(1, 1), &data) == 0;
}

void closeSocket(SocketHandle socket) { closesocket(socket); }

bool setNonBlocking(SocketHandle socket, bool nonBlocking) {
    u_long value = nonBlocking ? 1 : 0;
    return ioctlsocket(socket, FIONBIO, &value) == 0;
}

bool waitReadable(SocketHandle socket, int timeoutMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &timeout) > 0;
}

}  // namespace orb
