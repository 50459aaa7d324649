// The TFTP listener's decisions, apart from its thread and window: the port
// search and what to do with one received datagram.
#pragma once

#include <cstdint>

#include "platform/sockets.h"
#include "base/endpoint.h"

namespace orb {

inline constexpr uint16_t kFirstTftpPort = 69;
inline constexpr int kTftpPortTries = 100;  // 69..168

// Binds `udpSocket` to first.address and the first port of first.port ..
// first.port + tries - 1 that binds, all on the same socket. Returns that
// port, or 0 when every try failed.
uint16_t bindFirstFreePort(SocketHandle udpSocket, Endpoint first, int tries);

enum class ListenerVerdict {
    Idle,     // nothing received, or too short to carry an opcode: an idle pass
    Ignore,   // anything but a read request from the adapter (traced where the opcode says so)
    Foreign,  // a read request from another host: ignored as well, and worth telling the user
    Accept,   // the adapter's read request of `fileName`: hand over to the transfer
};

// Where a datagram came from and who may fetch the image.
struct ListenerPeers {
    Endpoint source;
    uint32_t adapterAddress;  // host order: the address the trigger went to; the only one served
};

// What the waiting listener does with one received datagram: `length` is what
// the receive returned (below 0 when nothing arrived). Reads nothing at or past
// `length`. The file name is guessable, so a read request is served only when
// it comes from the adapter's address; one from elsewhere is Foreign, whatever
// it names.
ListenerVerdict handleListenerDatagram(const uint8_t* datagram, int length, const char* fileName,
                                       const ListenerPeers& peers);

}  // namespace orb
