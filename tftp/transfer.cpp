// The transfer's decisions, apart from its socket, window and waits, so that
// tests and fuzzers can drive them directly.
#include <cstdio>

#include "base/trace.h"
#include "tftp/packets.h"
#include "tftp/transfer.h"
#include "base/u16_be.h"

namespace orb {

void initTftpSession(TftpSession* session, SocketHandle udpSocket, uint32_t localAddress, uint32_t peerAddress,
                     uint16_t peerPort, uint32_t imageSize) {
    session->udpSocket = udpSocket;
    session->localAddress = localAddress;
    session->peerAddress = peerAddress;
    session->peerPort = peerPort;
    session->block = 0;
    session->bytesAcked = 0;
    session->imageSize = imageSize;
    session->blockCount = imageSize / kTftpBlockSize + 1;
    session->lastBlockSize = static_cast<int32_t>(imageSize - imageSize / kTftpBlockSize * kTftpBlockSize);
    trace("++++size %d, %d, %d\n", static_cast<int>(session->imageSize), session->lastBlockSize,
          static_cast<int>(session->blockCount));
}

SessionVerdict handleSessionDatagram(TftpSession* session, TransferLoop* loop, const uint8_t* datagram, int length,
                                     uint32_t sourceAddress, uint16_t sourcePort) {
    if (length < 2) return SessionVerdict::Idle;
    if (sourceAddress != session->peerAddress || sourcePort != session->peerPort) {
        trace("Unknown source request in session: %x:%u", sourceAddress, static_cast<unsigned>(sourcePort));
        return SessionVerdict::Tick;
    }
    // An ACK carries its block number in bytes 2-3; a shorter one is no ACK.
    if (getU16BE(datagram) != kTftpAck || length < 4) return SessionVerdict::Tick;
    if (getU16BE(datagram + 2) != session->block) return SessionVerdict::Discard;

    ++session->block;
    session->bytesAcked += session->blockSize;
    loop->ticks = 0;
    loop->intervals = 0;
    if (session->block > session->blockCount) return SessionVerdict::Complete;
    session->blockSize = session->block == session->blockCount ? session->lastBlockSize : kTftpBlockSize;
    loop->blockData = session->block == 1 ? loop->image : loop->blockData + kTftpBlockSize;
    return SessionVerdict::SendBlock;
}

TickVerdict countTicks(const TftpSession* session, TransferLoop* loop, uint32_t passed) {
    if (passed < static_cast<uint32_t>(kTicksPerInterval - loop->ticks)) {
        loop->ticks += static_cast<int>(passed);
        return TickVerdict::Wait;
    }
    loop->ticks = 0;
    if (++loop->intervals >= kIntervalsBeforeTimeout) {
        loop->failed = true;
        return TickVerdict::TimedOut;
    }
    return session->block == 0 ? TickVerdict::ResendOptionAck : TickVerdict::ResendBlock;
}

void formatUploadTitle(char* title, const char* deviceAddressText, int32_t bytesAcked, uint32_t imageSize) {
    std::snprintf(title, 128, "Uploading Firmware to ORB@%s %d/%d Bytes", deviceAddressText,
                  static_cast<int>(bytesAcked), static_cast<int>(imageSize));
}

}  // namespace orb
