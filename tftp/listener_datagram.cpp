#include "tftp/listener_datagram.h"

#include <array>
#include <cassert>
#include <cstring>

#include "platform/socket_address.h"
#include "base/ipv4_text.h"
#include "base/trace.h"
#include "base/u16_be.h"
#include "tftp/packets.h"

namespace orb {

uint16_t bindFirstFreePort(SocketHandle udpSocket, Endpoint first, int tries) {
    for (int i = 0; i < tries; ++i) {
        auto port = static_cast<uint16_t>(first.port + i);
        sockaddr_in address;
        fillSockaddr(first.address, port, &address);
        if (socketCalls().bind(udpSocket, &address) == 0) return port;
    }
    return 0;
}

// The requested name: up to its NUL, or to the datagram's end when it has none.
struct RequestedName {
    const uint8_t* bytes;
    size_t length;
    bool terminated;
};

static RequestedName readRequestedName(const uint8_t* datagram, int length) {
    assert(length >= 2);  // only a read request's datagram, which has its opcode
    const uint8_t* name = datagram + 2;
    auto* end = static_cast<const uint8_t*>(std::memchr(name, 0, static_cast<size_t>(length - 2)));
    return {name, end != nullptr ? static_cast<size_t>(end - name) : static_cast<size_t>(length - 2), end != nullptr};
}

// The name as a C string for a trace: at most a packet's bytes and a NUL.
using NameText = std::array<char, kTftpPacketSize + 1>;
static const char* copyRequestedName(const RequestedName& name, NameText* text) {
    size_t kept = name.length < kTftpPacketSize ? name.length : kTftpPacketSize;
    std::memcpy(text->data(), name.bytes, kept);
    (*text)[kept] = '\0';
    return text->data();
}

// The read request names `fileName` exactly, its NUL included. A name without
// a NUL inside the datagram is refused.
static bool namesFile(const uint8_t* datagram, int length, const char* fileName) {
    RequestedName name = readRequestedName(datagram, length);
    if (name.terminated && std::strlen(fileName) == name.length &&
        std::memcmp(name.bytes, fileName, name.length) == 0) {
        return true;
    }
    NameText refused;
    trace("+++ Bad TFTP RRQ filename %s\n", copyRequestedName(name, &refused));
    return false;
}

static ListenerVerdict ignoreForeignRequest(const uint8_t* datagram, int length, const ListenerPeers& peers) {
    NameText name;
    trace("+++ TFTP RRQ from %s:%u, not the adapter, ignored: %s\n", formatIPv4(peers.source.address).c_str(),
          static_cast<unsigned>(peers.source.port), copyRequestedName(readRequestedName(datagram, length), &name));
    return ListenerVerdict::Foreign;
}

ListenerVerdict handleListenerDatagram(const uint8_t* datagram, int length, const char* fileName,
                                       const ListenerPeers& peers) {
    if (length < 2) return ListenerVerdict::Idle;
    switch (getU16BE(datagram)) {
        case kTftpRrq:
            if (peers.source.address != peers.adapterAddress) return ignoreForeignRequest(datagram, length, peers);
            return namesFile(datagram, length, fileName) ? ListenerVerdict::Accept : ListenerVerdict::Ignore;
        case kTftpWrq: trace("TFTP Rx WRQ?\n"); break;
        case kTftpData: trace("TFTP Rx Data?\n"); break;
        case kTftpAck: trace("TFTP Rx ACK?\n"); break;
        case kTftpError: trace("TFTP Rx Error?\n"); break;
        default: break;
    }
    return ListenerVerdict::Ignore;
}

}  // namespace orb
