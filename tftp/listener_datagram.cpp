#include "tftp/listener_datagram.h"

#include <cstring>

#include "platform/socket_address.h"
#include "base/trace.h"
#include "base/u16_be.h"
#include "tftp/packets.h"

namespace orb {

uint16_t bindFirstFreePort(SocketHandle udpSocket, uint32_t localAddress, uint16_t firstPort, int tries) {
    for (int i = 0; i < tries; ++i) {
        auto port = static_cast<uint16_t>(firstPort + i);
        sockaddr_in address;
        fillSockaddr(localAddress, port, &address);
        if (socketCalls().bind(udpSocket, &address) == 0) return port;
    }
    return 0;
}

// The read request names `fileName` exactly, its NUL included. A name without
// a NUL inside the datagram is refused.
static bool namesFile(const uint8_t* datagram, int length, const char* fileName) {
    const uint8_t* name = datagram + 2;
    auto* end = static_cast<const uint8_t*>(std::memchr(name, 0, static_cast<size_t>(length - 2)));
    size_t nameLength = end != nullptr ? static_cast<size_t>(end - name) : static_cast<size_t>(length - 2);
    if (end != nullptr && std::strlen(fileName) == nameLength && std::memcmp(name, fileName, nameLength) == 0) {
        return true;
    }
    char refused[kTftpPacketSize + 1];
    size_t kept = nameLength < kTftpPacketSize ? nameLength : kTftpPacketSize;
    std::memcpy(refused, name, kept);
    refused[kept] = '\0';
    trace("+++ Bad TFTP RRQ filename %s\n", refused);
    return false;
}

ListenerVerdict handleListenerDatagram(const uint8_t* datagram, int length, const char* fileName) {
    if (length < 2) return ListenerVerdict::Idle;
    switch (getU16BE(datagram)) {
        case kTftpRrq: return namesFile(datagram, length, fileName) ? ListenerVerdict::Accept : ListenerVerdict::Ignore;
        case kTftpWrq: trace("TFTP Rx WRQ?\n"); break;
        case kTftpData: trace("TFTP Rx Data?\n"); break;
        case kTftpAck: trace("TFTP Rx ACK?\n"); break;
        case kTftpError: trace("TFTP Rx Error?\n"); break;
        default: break;
    }
    return ListenerVerdict::Ignore;
}

}  // namespace orb
