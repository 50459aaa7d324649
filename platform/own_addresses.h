// The computer's own IPv4 addresses, host byte order.
#pragma once

#include <cstdint>
#include <vector>

namespace orb {

inline constexpr int kMaxOwnAddresses = 8;

// Fills up to `capacity` entries and returns how many were written. Linux lists
// the IPv4 addresses of the interfaces that are up, non-loopback first; Windows
// looks up its own host name.
int listOwnAddresses(uint32_t* addresses, int capacity);

// Tests inject the list that the lookup yields; an empty optional-like call with
// `injected` false restores the real lookup.
void setOwnAddressesForTesting(bool injected, const std::vector<uint32_t>& addresses);

// The address of this computer from which the system sends to `destination`
// (host order): the local address of a UDP socket connected to it, which
// sends nothing. False when there is no route (or no network at all).
bool findRouteSource(uint32_t destination, uint32_t* source);

}  // namespace orb
