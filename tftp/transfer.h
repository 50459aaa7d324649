// The one TFTP transfer of the image, the restart wait and the verification.
#pragma once

#include <cstdint>

#include "platform/sockets.h"

namespace orb {

inline constexpr int kTicksPerInterval = 100;
inline constexpr int kIntervalsBeforeTimeout = 30;

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

// The values that the transfer loop keeps besides the session record.
struct TransferLoop {
    const uint8_t* image;       // the image served, imageSize bytes
    int ticks;                  // 0..99 milliseconds waited within the current interval
    int intervals;              // 0..30 expired without the expected ACK
    const uint8_t* blockData;   // the data of the block last sent
    bool failed;                // the transfer timed out
};

// Fills a zeroed record for a transfer of `imageSize` bytes: the block count,
// the final block's size, block 0 awaited. Traces the sizes.
void initTftpSession(TftpSession* session, SocketHandle udpSocket, uint32_t localAddress, uint32_t peerAddress,
                     uint16_t peerPort, uint32_t imageSize);

enum class SessionVerdict {
    Idle,      // nothing received, or too short to carry an opcode: pump, then wait
    Tick,      // a foreign datagram, or one from the peer that is not an ACK: ignored
    Discard,   // an ACK of another block: receive again at once, no tick
    SendBlock, // the expected ACK: send DATA `block` (blockData, blockSize) now
    Complete,  // the expected ACK of the final block: the transfer has succeeded
};

// What the transfer does with one received datagram (`length` below 0 when
// nothing arrived). On the expected ACK it advances the block, the bytes
// acknowledged and the next block's data, and starts the counts afresh. Reads
// nothing at or past `length`.
SessionVerdict handleSessionDatagram(TftpSession* session, TransferLoop* loop, const uint8_t* datagram, int length,
                                     uint32_t sourceAddress, uint16_t sourcePort);

enum class TickVerdict {
    Wait,              // the interval goes on
    ResendOptionAck,   // an interval expired while the OACK is unacknowledged
    ResendBlock,       // an interval expired while DATA `block` is unacknowledged
    TimedOut,          // the 30th interval expired: `failed` is set
};

// Counts `passed` ticks (milliseconds of waiting that have passed) and says
// what an expired interval asks for. An interval expires at most once per
// call: after a stall of the whole thread the next interval starts afresh.
TickVerdict countTicks(const TftpSession* session, TransferLoop* loop, uint32_t passed);

// "Uploading Firmware to ORB@<address> <acked>/<size> Bytes", at most 127
// characters, into `title` (128 bytes).
void formatUploadTitle(char* title, const char* deviceAddressText, int32_t bytesAcked, uint32_t imageSize);

}  // namespace orb
