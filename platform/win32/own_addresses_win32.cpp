#include <winsock.h>

#include "platform/system_calls.h"

namespace orb {

// The computer's host name looked up by name, in the order the lookup gives.
int listSystemAddresses(uint32_t* addresses, int capacity) {
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
