#include "tftp/transfer.h"

#include <cassert>

#include "base/trace.h"
#include "base/u16_be.h"
#include "tftp/packets.h"

namespace orb {

// What holds of the record between any two steps, whatever the peer sent:
// nothing counts past the image, and each state's block is where it says.
static void checkInvariants([[maybe_unused]] const TftpSession& session) {
    assert(session.blockCount == session.imageSize / kTftpBlockSize + 1);
    assert(session.lastBlockSize >= 0 && session.lastBlockSize < kTftpBlockSize);
    assert(session.bytesAcked >= 0 && static_cast<uint32_t>(session.bytesAcked) <= session.imageSize);
    assert(session.block <= session.blockCount + 1);
    assert(session.ticks >= 0 && session.ticks < kTicksPerInterval);
    assert(session.intervals >= 0 && session.intervals <= kIntervalsBeforeTimeout);
    switch (session.state) {
        case TransferState::Announcing: assert(session.block == 0 && session.bytesAcked == 0); break;
        case TransferState::Sending:
            // Block k (1..count) of its size, at (k - 1) * 512 in the image,
            // the blocks before it acknowledged.
            assert(session.block >= 1 && session.block <= session.blockCount);
            assert(session.blockSize == (session.block == session.blockCount ? session.lastBlockSize : kTftpBlockSize));
            assert(session.blockData == session.image + static_cast<size_t>(session.block - 1) * kTftpBlockSize);
            assert(session.bytesAcked == static_cast<int32_t>(session.block - 1) * kTftpBlockSize);
            break;
        case TransferState::Complete:
            assert(session.block == session.blockCount + 1);
            assert(static_cast<uint32_t>(session.bytesAcked) == session.imageSize);
            break;
        case TransferState::TimedOut: assert(session.intervals == kIntervalsBeforeTimeout); break;
    }
}

void initTftpSession(TftpSession* session, SocketHandle udpSocket, Endpoint peer, const uint8_t* image,
                     uint32_t imageSize) {
    session->udpSocket = udpSocket;
    session->peer = peer;
    session->state = TransferState::Announcing;
    session->block = 0;
    session->bytesAcked = 0;
    session->image = image;
    session->imageSize = imageSize;
    session->blockCount = imageSize / kTftpBlockSize + 1;
    session->lastBlockSize = static_cast<int32_t>(imageSize - imageSize / kTftpBlockSize * kTftpBlockSize);
    trace("++++size %d, %d, %d\n", static_cast<int>(session->imageSize), session->lastBlockSize,
          static_cast<int>(session->blockCount));
    // The record came zeroed: no block sent, no time counted.
    assert(session->blockSize == 0 && session->ticks == 0 && session->intervals == 0 && !session->secondRequest);
    checkInvariants(*session);
}

// The expected ACK: the next block, or the end.
static SessionVerdict advance(TftpSession* session) {
    ++session->block;
    session->bytesAcked += session->blockSize;
    session->ticks = 0;
    session->intervals = 0;
    if (session->block > session->blockCount) {
        session->state = TransferState::Complete;
        checkInvariants(*session);
        return SessionVerdict::Complete;
    }
    session->state = TransferState::Sending;
    session->blockSize = session->block == session->blockCount ? session->lastBlockSize : kTftpBlockSize;
    session->blockData = session->block == 1 ? session->image : session->blockData + kTftpBlockSize;
    checkInvariants(*session);
    return SessionVerdict::SendBlock;
}

SessionVerdict handleSessionDatagram(TftpSession* session, const uint8_t* datagram, int length, Endpoint source) {
    if (length < 2) return SessionVerdict::Idle;
    if (source != session->peer) {
        trace("Unknown source request in session: %x:%u", source.address, static_cast<unsigned>(source.port));
        if (source.address != session->peer.address || getU16BE(datagram) != kTftpRrq || session->secondRequest)
            return SessionVerdict::Foreign;
        session->secondRequest = true;
        session->secondRequestPort = source.port;
        return SessionVerdict::SecondRequest;
    }
    // An ACK carries its block number in bytes 2-3; a shorter one is no ACK.
    if (getU16BE(datagram) != kTftpAck || length < 4) return SessionVerdict::Foreign;
    switch (session->state) {
        case TransferState::Announcing:
        case TransferState::Sending:
            // The 16-bit number against the whole block count: past block 65535
            // no ACK can match, and the transfer times out.
            if (getU16BE(datagram + 2) != session->block) return SessionVerdict::Discard;
            return advance(session);
        case TransferState::Complete:
        case TransferState::TimedOut: break;
    }
    return SessionVerdict::Discard;
}

TickVerdict countTicks(TftpSession* session, uint32_t passed) {
    switch (session->state) {
        case TransferState::Announcing:
        case TransferState::Sending: break;
        case TransferState::Complete:
        case TransferState::TimedOut: return TickVerdict::Wait;
    }
    if (passed < static_cast<uint32_t>(kTicksPerInterval - session->ticks)) {
        session->ticks += static_cast<int>(passed);
        checkInvariants(*session);
        return TickVerdict::Wait;
    }
    session->ticks = 0;
    if (++session->intervals >= kIntervalsBeforeTimeout) {
        session->state = TransferState::TimedOut;
        checkInvariants(*session);
        return TickVerdict::TimedOut;
    }
    checkInvariants(*session);
    return session->state == TransferState::Announcing ? TickVerdict::ResendOptionAck : TickVerdict::ResendBlock;
}

}  // namespace orb
