#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <mutex>

#include "platform/own_addresses.h"

namespace orb {

static std::mutex injectionMutex;
static bool injectedList = false;
static std::vector<uint32_t> injectedAddresses;

void setOwnAddressesForTesting(bool injected, const std::vector<uint32_t>& addresses) {
    std::lock_guard lock(injectionMutex);
    injectedList = injected;
    injectedAddresses = addresses;
}

// The host-name lookup usually yields only 127.0.1.1 on Linux, which cannot
// reach an adapter; the interfaces that are up can.
int listOwnAddresses(uint32_t* addresses, int capacity) {
    {
        std::lock_guard lock(injectionMutex);
        if (injectedList) {
            int count = 0;
            for (uint32_t address : injectedAddresses) {
                if (count == capacity) break;
                addresses[count++] = address;
            }
            return count;
        }
    }
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
