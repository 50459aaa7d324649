// One end of a connection or a datagram's way: an IPv4 address and a port,
// both in host order, so that neither can stand in for the other's parameter.
#pragma once

#include <cstdint>

namespace orb {

struct Endpoint {
    uint32_t address;  // host order; first octet in the high byte
    uint16_t port;

    friend bool operator==(const Endpoint&, const Endpoint&) = default;
};

}  // namespace orb
