// Sockets: the one place that includes the system's socket headers. Code above
// the seam calls socket/bind/connect/send/recv/sendto/recvfrom itself, with the
// 16-byte IPv4 address filled by fillSockaddr.
#pragma once

#include <cstdint>

#ifdef _WIN32
#include <winsock.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace orb {

#ifdef _WIN32
using SocketHandle = SOCKET;
using SockLen = int;
inline const SocketHandle kInvalidSocket = INVALID_SOCKET;
#else
using SocketHandle = int;
using SockLen = socklen_t;
inline constexpr SocketHandle kInvalidSocket = -1;
#endif

// Winsock 1.1 on Windows; nothing to do elsewhere.
bool startNetworking();
void closeSocket(SocketHandle socket);
bool setNonBlocking(SocketHandle socket, bool nonBlocking);
// True when a datagram or stream data (or an error) is waiting; false after
// timeoutMs without one.
bool waitReadable(SocketHandle socket, int timeoutMs);

}  // namespace orb
