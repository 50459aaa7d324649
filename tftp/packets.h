// Building, sending and receiving TFTP datagrams.
#pragma once

#include <cstdint>
#include <span>

#include "platform/sockets.h"

namespace orb {

inline constexpr int kTftpPacketSize = 1024;  // the receive and build area
inline constexpr int kTftpBlockSize = 512;

inline constexpr unsigned kTftpRrq = 1;
inline constexpr unsigned kTftpWrq = 2;
inline constexpr unsigned kTftpData = 3;
inline constexpr unsigned kTftpAck = 4;
inline constexpr unsigned kTftpError = 5;
inline constexpr unsigned kTftpOack = 6;

// The option acknowledgement: opcode 6, "tsize" = imageSize, "timeout" = 5.
// Returns its length, 19 + the digits of imageSize.
int buildOptionAck(uint8_t* packet, uint32_t imageSize);

// DATA: opcode 3, the low 16 bits of `block`, then the bytes of `data`
// (0..512). Returns their count + 4.
int buildDataBlock(uint8_t* packet, std::span<const uint8_t> data, uint32_t block);

// Builds the packet in `packet` and sends it to `peer`; a failed send is not
// reported (the resend covers a lost datagram).
void sendOptionAck(SocketHandle udpSocket, uint8_t* packet, const sockaddr_in* peer, uint32_t imageSize);
void sendDataBlock(SocketHandle udpSocket, uint8_t* packet, std::span<const uint8_t> data, uint32_t block,
                   const sockaddr_in* peer);

// One datagram of at most `capacity` bytes from a non-blocking socket, with its
// source. Returns its length, or -1 when nothing was waiting, the receive
// failed, or the datagram was longer than `capacity` (it is then lost).
int receiveDatagram(SocketHandle udpSocket, uint8_t* packet, int capacity, sockaddr_in* source);

}  // namespace orb
