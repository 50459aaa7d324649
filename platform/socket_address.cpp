#include "platform/socket_address.h"

#include <cstring>

namespace orb {

void fillSockaddr(uint32_t address, uint16_t port, sockaddr_in* socketAddress) {
    std::memset(socketAddress, 0, sizeof *socketAddress);  // the trailing 8 bytes carry nothing
    socketAddress->sin_family = AF_INET;
    socketAddress->sin_port = htons(port);
    socketAddress->sin_addr.s_addr = htonl(address);
}

sockaddr_in makeSockaddr(uint32_t address, uint16_t port) {
    sockaddr_in socketAddress;
    fillSockaddr(address, port, &socketAddress);
    return socketAddress;
}

void readSockaddr(const sockaddr_in* socketAddress, uint32_t* address, uint16_t* port) {
    *address = ntohl(socketAddress->sin_addr.s_addr);
    *port = ntohs(socketAddress->sin_port);
}

}  // namespace orb
