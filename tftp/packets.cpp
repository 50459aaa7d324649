#include "tftp/packets.h"

#include <cstdio>
#include <cstring>

#include "base/u16_be.h"

namespace orb {

static int putText(uint8_t* at, const char* text) {
    size_t length = std::strlen(text) + 1;  // with its NUL
    std::memcpy(at, text, length);
    return static_cast<int>(length);
}

int buildOptionAck(uint8_t* packet, uint32_t imageSize) {
    char size[16];
    std::snprintf(size, sizeof size, "%u", static_cast<unsigned>(imageSize));
    putU16BE(packet, kTftpOack);
    int length = 2;
    length += putText(packet + length, "tsize");
    length += putText(packet + length, size);
    length += putText(packet + length, "timeout");
    length += putText(packet + length, "5");
    return length;
}

int buildDataBlock(uint8_t* packet, std::span<const uint8_t> data, uint32_t block) {
    putU16BE(packet, kTftpData);
    putU16BE(packet + 2, block);
    if (!data.empty()) std::memcpy(packet + 4, data.data(), data.size());
    return static_cast<int>(data.size()) + 4;
}

static void sendPacket(SocketHandle udpSocket, const uint8_t* packet, int length, const sockaddr_in* peer) {
    // The result is not looked at: a lost datagram is covered by the resend.
    socketCalls().sendTo(udpSocket, reinterpret_cast<const char*>(packet), length, peer);
}

void sendOptionAck(SocketHandle udpSocket, uint8_t* packet, const sockaddr_in* peer, uint32_t imageSize) {
    sendPacket(udpSocket, packet, buildOptionAck(packet, imageSize), peer);
}

void sendDataBlock(SocketHandle udpSocket, uint8_t* packet, std::span<const uint8_t> data, uint32_t block,
                   const sockaddr_in* peer) {
    sendPacket(udpSocket, packet, buildDataBlock(packet, data, block), peer);
}

int receiveDatagram(SocketHandle udpSocket, uint8_t* packet, int capacity, sockaddr_in* source) {
    std::memset(source, 0, sizeof *source);
    int received = socketCalls().receiveFrom(udpSocket, reinterpret_cast<char*>(packet), capacity, source);
    if (received < 0 || received > capacity) return -1;  // nothing, an error, or a datagram that did not fit
    return received;
}

}  // namespace orb
