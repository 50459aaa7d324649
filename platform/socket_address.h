// Host-order IPv4 address and port into and out of the 16-byte socket address.
#pragma once

#include <cstdint>

#include "platform/sockets.h"

namespace orb {

void fillSockaddr(uint32_t address, uint16_t port, sockaddr_in* socketAddress);
sockaddr_in makeSockaddr(uint32_t address, uint16_t port);
void readSockaddr(const sockaddr_in* socketAddress, uint32_t* address, uint16_t* port);

}  // namespace orb
