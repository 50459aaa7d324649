// The OS-specific halves of seam services whose other half is portable
// (platform/process.cpp, platform/own_addresses.cpp). Only platform/ uses them.
#pragma once

#include <cstdint>

namespace orb {

// Ends the process at once: no hooks, no flushing, no static destructors.
[[noreturn]] void exitProcessNow(int exitCode);

// The system's own IPv4 addresses, host order; the number written.
int listSystemAddresses(uint32_t* addresses, int capacity);

// The local address of a UDP socket connected to `destination`; false on failure.
bool findSystemRouteSource(uint32_t destination, uint32_t* source);

}  // namespace orb
