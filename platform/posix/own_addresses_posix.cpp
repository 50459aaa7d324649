#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

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

}  // namespace orb
