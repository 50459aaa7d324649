#include "tests/tftp/tftp_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace orb::test {

static sockaddr_in socketAddress(uint32_t address, uint16_t port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_addr.s_addr = htonl(address);
    result.sin_port = htons(port);
    return result;
}

int holdUdpPort(uint32_t address, uint16_t port) {
    int held = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (held < 0) return -1;
    sockaddr_in where = socketAddress(address, port);
    if (::bind(held, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0) {
        ::close(held);
        return -1;
    }
    return held;
}

TftpPeer::TftpPeer(uint32_t address, uint16_t port) : address_(address) {
    socket_ = holdUdpPort(address, port);
    if (socket_ < 0) return;
    int on = 1;
    ::setsockopt(socket_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&bound), &length);
    port_ = ntohs(bound.sin_port);
}

TftpPeer::~TftpPeer() {
    if (socket_ >= 0) ::close(socket_);
}

void TftpPeer::send(const std::vector<uint8_t>& bytes, uint32_t address, uint16_t port) const {
    sockaddr_in to = socketAddress(address, port);
    ::sendto(socket_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

void TftpPeer::sendAck(unsigned block, uint32_t address, uint16_t port) const {
    send({0, 4, static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block)}, address, port);
}

std::optional<PeerDatagram> TftpPeer::receive(int timeoutMs) const {
    pollfd entry{socket_, POLLIN, 0};
    if (::poll(&entry, 1, timeoutMs) <= 0) return std::nullopt;
    uint8_t buffer[2048];
    sockaddr_in from{};
    iovec area{buffer, sizeof buffer};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &area;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got = ::recvmsg(socket_, &message, 0);
    if (got < 0) return std::nullopt;
    PeerDatagram datagram;
    datagram.bytes.assign(buffer, buffer + got);
    datagram.sourceAddress = ntohl(from.sin_addr.s_addr);
    datagram.sourcePort = ntohs(from.sin_port);
    for (cmsghdr* entry = CMSG_FIRSTHDR(&message); entry != nullptr; entry = CMSG_NXTHDR(&message, entry)) {
        if (entry->cmsg_level == SOL_SOCKET && entry->cmsg_type == SCM_TIMESTAMPNS) {
            timespec stamp;
            std::memcpy(&stamp, CMSG_DATA(entry), sizeof stamp);
            datagram.arrived = std::chrono::seconds(stamp.tv_sec) + std::chrono::nanoseconds(stamp.tv_nsec);
        }
    }
    return datagram;
}

std::vector<uint8_t> tftpPacket(unsigned opcode, const std::string& rest) {
    std::string bytes{static_cast<char>(opcode >> 8), static_cast<char>(opcode & 255)};
    bytes += rest;
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::vector<uint8_t> readRequest(const std::string& name, const std::string& modeAndOptions) {
    return tftpPacket(1, name + std::string(1, '\0') + modeAndOptions);
}

}  // namespace orb::test
