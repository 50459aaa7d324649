// The one TFTP transfer of the image as a state machine: one record, one state,
// and the decisions on a received datagram and on the time that passed. The
// socket, the window and the waits are the caller's (upgrade/upload_and_verify).
#pragma once

#include <cstdint>
#include <span>

#include "platform/sockets.h"
#include "base/endpoint.h"
#include "tftp/packets.h"

namespace orb {

inline constexpr int kTicksPerInterval = 100;
inline constexpr int kIntervalsBeforeTimeout = 30;

enum class TransferState {
    Announcing,  // the OACK is out; ACK 0 is awaited
    Sending,     // DATA `block` is out; its ACK is awaited
    Complete,    // the final block was acknowledged
    TimedOut,    // 30 intervals passed without the expected ACK
};

struct TftpSession {
    uint8_t packet[kTftpPacketSize];
    Endpoint peer;  // the adapter's read request came from here; the transfer goes there
    SocketHandle udpSocket;
    uint32_t localAddress;  // where the session serves from: the verification query's too
    TransferState state;
    uint32_t block;  // the block awaited: 0 while announcing
    uint32_t imageSize;
    uint32_t blockCount;
    int32_t bytesAcked;
    int32_t lastBlockSize;
    int32_t blockSize;         // the size of the block last sent
    const uint8_t* image;      // the image served, imageSize bytes
    const uint8_t* blockData;  // the data of the block last sent
    int ticks;                 // 0..99 milliseconds waited within the current interval
    int intervals;             // 0..30 expired without the expected ACK
    // A read request came from the peer's address but another port: a second
    // host asks as the adapter (a source address is easily forged on a LAN).
    bool secondRequest;
    uint16_t secondRequestPort;  // the first such request's
};

// The data of the block last sent (blockData, blockSize).
inline std::span<const uint8_t> sentBlock(const TftpSession& session) {
    return {session.blockData, static_cast<size_t>(session.blockSize)};
}

// Fills a zeroed record for a transfer of `image` (`imageSize` bytes):
// announcing, the block count, the final block's size. Traces the sizes.
void initTftpSession(TftpSession* session, SocketHandle udpSocket, Endpoint peer, const uint8_t* image,
                     uint32_t imageSize);

enum class SessionVerdict {
    Idle,           // nothing received, or too short to carry an opcode: pump, then wait
    Foreign,        // from another host or port, or from the peer but no ACK: ignored like Discard
    SecondRequest,  // the first read request from the peer's address on another port: Foreign, to be told
    Discard,        // an ACK of another block: receive again at once, no tick
    SendBlock,      // the expected ACK: send DATA `block` (blockData, blockSize) now
    Complete,       // the expected ACK of the final block: the transfer has succeeded
};

// What the transfer does with one received datagram (`length` below 0 when
// nothing arrived). On the expected ACK it moves on: the next block, the bytes
// acknowledged, the counts afresh. Reads nothing at or past `length`.
SessionVerdict handleSessionDatagram(TftpSession* session, const uint8_t* datagram, int length, Endpoint source);

enum class TickVerdict {
    Wait,             // the interval goes on
    ResendOptionAck,  // an interval expired while announcing
    ResendBlock,      // an interval expired while DATA `block` is unacknowledged
    TimedOut,         // the 30th interval expired: the state is TimedOut
};

// Counts `passed` ticks (milliseconds of waiting that have passed) and says
// what an expired interval asks for. An interval expires at most once per
// call: after a stall of the whole thread the next interval starts afresh.
TickVerdict countTicks(TftpSession* session, uint32_t passed);

}  // namespace orb
