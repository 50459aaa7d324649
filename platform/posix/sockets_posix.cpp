#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "platform/sockets.h"

namespace orb {

bool startNetworking() { return true; }

void closeSocket(SocketHandle socket) { ::close(socket); }

bool setNonBlocking(SocketHandle socket, bool nonBlocking) {
    int flags = ::fcntl(socket, F_GETFL, 0);
    if (flags < 0) return false;
    flags = nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return ::fcntl(socket, F_SETFL, flags) == 0;
}

bool waitReadable(SocketHandle socket, int timeoutMs) {
    pollfd entry{socket, POLLIN, 0};
    return ::poll(&entry, 1, timeoutMs) > 0;
}

}  // namespace orb
