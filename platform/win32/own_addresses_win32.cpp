#include <winsock.h>

#include "platform/sockets.h"
#include "platform/system_calls.h"

namespace orb {

namespace {

// Winsock answers nothing before it is started (WSANOTINITIALISED), and the
// batch asks for this computer's addresses before any run starts it.
bool networkingStarted() {
    static const bool started = startNetworking();
    return started;
}

}  // namespace

// The computer's host name looked up by name, in the order the lookup gives.
int listSystemAddresses(uint32_t* addresses, int capacity) {
    if (!networkingStarted()) return 0;
    char name[128] = {};
    if (gethostname(name, sizeof name - 1) != 0) return 0;
    hostent* host = gethostbyname(name);
    if (host == nullptr || host->h_addrtype != AF_INET) return 0;
    int count = 0;
    for (char** entry = host->h_addr_list; *entry != nullptr && count < capacity; ++entry) {
        addresses[count++] = ntohl(reinterpret_cast<in_addr*>(*entry)->s_addr);
    }
    return count;
}

bool findSystemRouteSource(uint32_t destination, uint32_t* source) {
    if (!networkingStarted()) return false;
    SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) return false;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(80);
    peer.sin_addr.s_addr = htonl(destination);
    sockaddr_in local{};
    int length = sizeof local;
    bool found = ::connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0 &&
                 ::getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) == 0 && local.sin_addr.s_addr != 0;
    ::closesocket(s);
    if (found) *source = ntohl(local.sin_addr.s_addr);
    return found;
}

}  // namespace orb
