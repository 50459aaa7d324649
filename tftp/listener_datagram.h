// The TFTP listener's decisions, apart from its thread and window: the port
// search and what to do with one received datagram.
#pragma once

#include <cstdint>

#include "platform/sockets.h"

namespace orb {

inline constexpr uint16_t kFirstTftpPort = 69;
inline constexpr int kTftpPortTries = 100;  // 69..168
inline constexpr int kIdlePositionLimit = 1000;  // the waiting bar's range 0..1000

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

// The waiting bar's position after `ticks` more milliseconds of waiting: one
// step each, 1, 2, ..., 999, 0, 1, ...
int advanceIdlePosition(int position, uint32_t ticks);

// How long the waiting listener sleeps when nothing arrives: the views draw
// about 30 times a second, so the bar needs no more frequent updates.
inline constexpr int kIdleFrameMs = 33;

}  // namespace orb
