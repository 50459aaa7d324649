// Building, sending and receiving TFTP datagrams.
#pragma once

#include <cstdint>
#include <span>

#include "platform/sockets.h"

namespace orb {

inline constexpr int kTftpPacketSize = 1024;  // the receive and build area
inline constexpr int kTftpBlockSize = 512;

// The area a packet is built in.
using TftpPacket = std::span<uint8_t, kTftpPacketSize>;

inline constexpr unsigned kTftpRrq = 1;
inline constexpr unsigned kTftpWrq = 2;
inline constexpr unsigned kTftpData = 3;
inline constexpr unsigned kTftpAck = 4;
inline constexpr unsigned kTftpError = 5;
inline constexpr unsigned kTftpOack = 6;

// The option acknowledgement: opcode 6, "tsize" = imageSize, "timeout" = 5.
// Returns its length, 19 + the digits of imageSize.
int buildOptionAck(TftpPacket packet, uint32_t imageSize);

// DATA: opcode 3, the low 16 bits of `block`, then the bytes of `data`
// (0..512). Returns their count + 4.
int buildDataBlock(TftpPacket packet, std::span<const uint8_t> data, uint32_t block);

// Builds the packet in `packet` and sends it to `peer`; a failed send is not
// reported (the resend covers a lost datagram).
void sendOptionAck(SocketHandle udpSocket, TftpPacket packet, const sockaddr_in* peer, uint32_t imageSize);
void sendDataBlock(SocketHandle udpSocket, TftpPacket packet, std::span<const uint8_t> data, uint32_t block,
                   const sockaddr_in* peer);

// One datagram of at most area.size() bytes from a non-blocking socket into
// `area`, with its source. Returns its length, or -1 when nothing was waiting,
// the receive failed, or the datagram was longer than the area (it is then
// lost).
int receiveDatagram(SocketHandle udpSocket, std::span<uint8_t> area, sockaddr_in* source);

}  // namespace orb
