#include "tftp/packets.h"

#include <cstdio>
#include <cstring>

#include "tftp/transfer.h"
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

int buildDataBlock(uint8_t* packet, const uint8_t* data, int length, uint32_t block) {
    putU16BE(packet, kTftpData);
    putU16BE(packet + 2, block);
    if (length > 0) std::memcpy(packet + 4, data, static_cast<size_t>(length));
    return length + 4;
}

static void sendPacket(SocketHandle udpSocket, const uint8_t* packet, int length, const sockaddr_in* peer) {
    // The result is not looked at: a lost datagram is covered by the resend.
    ::sendto(udpSocket, reinterpret_cast<const char*>(packet), length, 0, reinterpret_cast<const sockaddr*>(peer),
             sizeof *peer);
}

void sendOptionAck(SocketHandle udpSocket, uint8_t* packet, const sockaddr_in* peer, uint32_t imageSize) {
    sendPacket(udpSocket, packet, buildOptionAck(packet, imageSize), peer);
}

void sendDataBlock(SocketHandle udpSocket, uint8_t* packet, const uint8_t* data, int length, uint32_t block,
                   const sockaddr_in* peer) {
    sendPacket(udpSocket, packet, buildDataBlock(packet, data, length, block), peer);
}

int receiveDatagram(SocketHandle udpSocket, uint8_t* packet, int capacity, sockaddr_in* source) {
    int flags = 0;
#if defined(MSG_TRUNC) && !defined(_WIN32)
    // Linux then reports a longer datagram's real length, where Windows reports
    // an error: either way a datagram that does not fit is lost.
    flags = MSG_TRUNC;
#endif
    std::memset(source, 0, sizeof *source);
    SockLen sourceLength = sizeof *source;
    auto received = ::recvfrom(udpSocket, reinterpret_cast<char*>(packet), capacity, flags,
                               reinterpret_cast<sockaddr*>(source), &sourceLength);
    if (received < 0 || received > capacity) return -1;
    return static_cast<int>(received);
}

}  // namespace orb
