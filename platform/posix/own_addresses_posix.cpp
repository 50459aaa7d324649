#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/system_calls.h"

namespace orb {

// The host-name lookup usually yields only 127.0.1.1 on Linux, which cannot
// reach an adapter; the interfaces that are up can.
int listSystemAddresses(uint32_t* addresses, int capacity) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return 0;
    int count = 0;
    for (int pass = 0; pass < 2; ++pass) {  // non-loopback first, then loopback
        for (ifaddrs* entry = list; entry != nullptr && count < capacity; entry = entry->ifa_next) {
            if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
            if ((entry->ifa_flags & IFF_UP) == 0) continue;
            bool loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
            if (loopback != (pass == 1)) continue;
            uint32_t address = ntohl(reinterpret_cast<sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr);
            if (address != 0) addresses[count++] = address;
        }
    }
    freeifaddrs(list);
    return count;
}

bool findSystemRouteSource(uint32_t destination, uint32_t* source) {
    int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) return false;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(80);
    peer.sin_addr.s_addr = htonl(destination);
    sockaddr_in local{};
    socklen_t length = sizeof local;
    bool found = ::connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0 &&
                 ::getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) == 0 && local.sin_addr.s_addr != 0;
    ::close(s);
    if (found) *source = ntohl(local.sin_addr.s_addr);
    return found;
}

}  // namespace orb
