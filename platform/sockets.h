// Sockets: the one place that includes the system's socket headers. Every
// socket call of the program goes through one table (socketCalls), which a test
// can change entry by entry to make a call fail, so that the failure paths of
// the HTTP exchange and the TFTP transfer run in-process, without a
// misbehaving peer.
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

enum class SocketType { Stream, Datagram };

// The socket calls the program makes, IPv4 only. Results as the system's:
// 0 or -1 for bind and connect, a byte count or -1 for the transfers.
struct SocketCalls {
    SocketHandle (*open)(SocketType type);
    int (*bind)(SocketHandle socket, const sockaddr_in* address);
    int (*connect)(SocketHandle socket, const sockaddr_in* address);
    int (*send)(SocketHandle socket, const char* bytes, int length);
    int (*recv)(SocketHandle socket, char* bytes, int capacity);
    int (*sendTo)(SocketHandle socket, const char* bytes, int length, const sockaddr_in* peer);
    // A datagram longer than `capacity` is lost: -1, or (Linux) its real
    // length, which the caller takes as lost too.
    int (*receiveFrom)(SocketHandle socket, char* bytes, int capacity, sockaddr_in* source);
    void (*close)(SocketHandle socket);
    bool (*setNonBlocking)(SocketHandle socket, bool nonBlocking);
    // True when a datagram or stream data (or an error) is waiting; false
    // after timeoutMs without one. kInvalidSocket: a plain sleep, false.
    bool (*waitReadable)(SocketHandle socket, int timeoutMs);
    // Before the bind of a stream socket: lets it take a local port whose
    // last connection still waits out its TIME-WAIT, as one that our side
    // closed first does for a minute. False when the system refused.
    bool (*allowAddressReuse)(SocketHandle socket);
};

// The system's calls.
SocketCalls systemSocketCalls();
// The table in use; tests assign entries, and systemSocketCalls() back.
SocketCalls& socketCalls();

// Winsock 1.1 on Windows; nothing to do elsewhere.
bool startNetworking();

// Through the table, for the calls that are made most.
inline void closeSocket(SocketHandle socket) { socketCalls().close(socket); }
inline bool setNonBlocking(SocketHandle socket, bool nonBlocking) {
    return socketCalls().setNonBlocking(socket, nonBlocking);
}
inline bool waitReadable(SocketHandle socket, int timeoutMs) { return socketCalls().waitReadable(socket, timeoutMs); }

}  // namespace orb
