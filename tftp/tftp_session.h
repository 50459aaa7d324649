// The one TFTP transfer of the image, the restart wait and the verification.
#pragma once

#include <cstdint>

#include "platform/sockets.h"

namespace orb {

struct TftpSession {
    uint8_t packet[1024];
    uint32_t localAddress;
    uint32_t peerAddress;
    uint16_t peerPort;
    SocketHandle udpSocket;
    uint32_t block;
    uint32_t imageSize;
    uint32_t blockCount;
    int32_t bytesAcked;
    int32_t lastBlockSize;
    int32_t blockSize;
};

[[noreturn]] void startTftpSession(SocketHandle udpSocket, uint32_t localAddress, uint32_t peerAddress,
                                   uint16_t peerPort);
[[noreturn]] void runTftpSession(TftpSession* session);

void sendOptionAck(SocketHandle udpSocket, uint8_t* packet, const sockaddr_in* peer, uint32_t imageSize);
void sendDataBlock(SocketHandle udpSocket, uint8_t* packet, const uint8_t* data, int length, uint32_t block,
                   const sockaddr_in* peer);

}  // namespace orb
