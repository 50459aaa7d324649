#include "platform/own_addresses.h"

#include <mutex>

#include "platform/system_calls.h"

namespace orb {

static std::mutex injectionMutex;
static bool injectedList = false;
static std::vector<uint32_t> injectedAddresses;

void setOwnAddressesForTesting(bool injected, const std::vector<uint32_t>& addresses) {
    std::lock_guard lock(injectionMutex);
    injectedList = injected;
    injectedAddresses = addresses;
}

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
    return listSystemAddresses(addresses, capacity);
}

bool findRouteSource(uint32_t destination, uint32_t* source) { return findSystemRouteSource(destination, source); }

}  // namespace orb
