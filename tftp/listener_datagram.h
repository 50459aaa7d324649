// The TFTP listener's decisions, apart from its thread and window: the port
// search and what to do with one received datagram.
#pragma once

#include <cstdint>

#include "platform/sockets.h"

namespace orb {

inline constexpr uint16_t kFirstTftpPort = 69;
inline constexpr int kTftpPortTries = 100;  // 69..168

// Binds `udpSocket` to localAddress and the first port of firstPort ..
// firstPort + tries - 1 that binds, all on the same socket. Returns that port,
// or 0 when every try failed.
uint16_t bindFirstFreePort(SocketHandle udpSocket, uint32_t localAddress, uint16_t firstPort, int tries);

enum class ListenerVerdict {
    Idle,    // nothing received, or too short to carry an opcode: an idle pass
    Ignore,  // anything but the run's read request (traced where the opcode says so)
    Accept,  // the read request of `fileName`: hand over to the transfer
};

// What the waiting listener does with one received datagram: `length` is what
// the receive returned (below 0 when nothing arrived). Reads nothing at or past
// `length`.
ListenerVerdict handleListenerDatagram(const uint8_t* datagram, int length, const char* fileName);

}  // namespace orb
