// A scripted TFTP peer for loopback tests: one UDP socket on a 127.0.3.x
// address that sends what the test says and receives with a time-out.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orb::test {

struct PeerDatagram {
    std::vector<uint8_t> bytes;
    uint32_t sourceAddress = 0;  // host order
    uint16_t sourcePort = 0;
    // When the datagram reached the socket (the kernel's time stamp), so that a
    // test thread that reads late does not shorten the gap it measures.
    std::chrono::nanoseconds arrived{0};

    unsigned opcode() const { return bytes.size() >= 2 ? bytes[0] << 8 | bytes[1] : 0xffffffffu; }
    unsigned block() const { return bytes.size() >= 4 ? bytes[2] << 8 | bytes[3] : 0xffffffffu; }
};

class TftpPeer {
public:
    // Binds address:port (0: any free port). Check ok() after.
    explicit TftpPeer(uint32_t address, uint16_t port = 0);
    ~TftpPeer();
    TftpPeer(const TftpPeer&) = delete;
    TftpPeer& operator=(const TftpPeer&) = delete;

    bool ok() const { return socket_ >= 0; }
    uint32_t address() const { return address_; }
    uint16_t port() const { return port_; }

    void send(const std::vector<uint8_t>& bytes, uint32_t address, uint16_t port) const;
    void sendAck(unsigned block, uint32_t address, uint16_t port) const;
    // The next datagram, or nothing after timeoutMs.
    std::optional<PeerDatagram> receive(int timeoutMs) const;

private:
    uint32_t address_;
    uint16_t port_ = 0;
    int socket_ = -1;
};

// Packets a peer sends.
std::vector<uint8_t> tftpPacket(unsigned opcode, const std::string& rest);
std::vector<uint8_t> readRequest(const std::string& name, const std::string& modeAndOptions);

// Binds a UDP socket to address:port; -1 when the bind fails. For holding
// ports that the program under test must not get.
int holdUdpPort(uint32_t address, uint16_t port);

}  // namespace orb::test
