#include <winsock.h>

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

// The computer's host name looked up by name, in the order the lookup gives.
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

}  // namespace orb
