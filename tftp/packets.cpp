#include "tftp/packets.h"

#include <cassert>
#include <cstdio>
#include <cstring>

#include "base/u16_be.h"

namespace orb {

static int putText(uint8_t* at, const char* text) {
    size_t length = std::strlen(text) + 1;  // with its NUL
    std::memcpy(at, text, length);
    return static_cast<int>(length);
}

int buildOptionAck(TftpPacket packet, uint32_t imageSize) {
    char size[16];
    std::snprintf(size, sizeof size, "%u", static_cast<unsigned>(imageSize));
    putU16BE(packet.data(), kTftpOack);
    int length = 2;
    length += putText(packet.data() + length, "tsize");
    length += putText(packet.data() + length, size);
    length += putText(packet.data() + length, "timeout");
    length += putText(packet.data() + length, "5");
    return length;
}

int buildDataBlock(TftpPacket packet, std::span<const uint8_t> data, uint32_t block) {
    assert(data.size() <= kTftpBlockSize);  // a block, never more
    putU16BE(packet.data(), kTftpData);
    putU16BE(packet.data() + 2, block);
    if (!data.empty()) std::memcpy(packet.data() + 4, data.data(), data.size());
    return static_cast<int>(data.size()) + 4;
}

static void sendPacket(SocketHandle udpSocket, std::span<const uint8_t> packet, const sockaddr_in* peer) {
    // The result is not looked at: a lost datagram is covered by the resend.
    socketCalls().sendTo(udpSocket, reinterpret_cast<const char*>(packet.data()), static_cast<int>(packet.size()),
                         peer);
}

void sendOptionAck(SocketHandle udpSocket, TftpPacket packet, const sockaddr_in* peer, uint32_t imageSize) {
    sendPacket(udpSocket, packet.first(static_cast<size_t>(buildOptionAck(packet, imageSize))), peer);
}

void sendDataBlock(SocketHandle udpSocket, TftpPacket packet, std::span<const uint8_t> data, uint32_t block,
                   const sockaddr_in* peer) {
    sendPacket(udpSocket, packet.first(static_cast<size_t>(buildDataBlock(packet, data, block))), peer);
}

int receiveDatagram(SocketHandle udpSocket, std::span<uint8_t> area, sockaddr_in* source) {
    std::memset(source, 0, sizeof *source);
    const auto capacity = static_cast<int>(area.size());
    int received = socketCalls().receiveFrom(udpSocket, reinterpret_cast<char*>(area.data()), capacity, source);
    if (received < 0 || received > capacity) return -1;  // nothing, an error, or a datagram that did not fit
    return received;
}

}  // namespace orb
