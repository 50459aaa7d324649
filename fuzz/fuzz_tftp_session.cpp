// The transfer's handling of a sequence of datagrams from the peer and from
// foreign sources, driven as the transfer loop drives it: Idle and Foreign
// verdicts count a tick (and an expired interval resends), SendBlock builds the
// DATA packet from the image, Complete and TimedOut end the transfer.
//
// Input: two bytes choose the image size (0..5119 bytes: one to ten blocks,
// exact multiples of 512 included), then records
//
//   flags (1 byte), length (1 byte, at most what is left), that many bytes
//
// flags bits 0-1: the source: 0 the peer, 1 the peer's address from another
// port, 2 another address with the peer's port, 3 nothing received (length -1);
// bit 2: replace the bytes by the ACK that the transfer awaits; bit 3: then let
// 1..100 ticks pass without a datagram (bits 4-7 scale them).
//
// Invariants after every step: bytesAcked never exceeds the image size and
// never goes below 0, the block never passes blockCount + 1, a DATA packet
// never reads outside the image (the image sits in a heap block of exactly its
// size), and a complete transfer has acknowledged exactly the whole image.
#include "base/trace.h"
#include "base/u16_be.h"
#include "tftp/packets.h"
#include "tftp/transfer.h"
#include "fuzz/fuzz_support.h"

using namespace orb;

namespace {

constexpr uint32_t kPeer = 0x7f000702;
constexpr uint16_t kPeerPort = 40000;

void discardTrace(const char*) {}

struct Transfer {
    TftpSession session{};
    const uint8_t* image = nullptr;
    uint32_t imageSize = 0;
    std::unique_ptr<uint8_t[]> packet{new uint8_t[kTftpPacketSize]};
    bool ended = false;

    TftpPacket area() const { return TftpPacket(packet.get(), kTftpPacketSize); }

    void checkInvariants() const {
        fuzz::require(session.bytesAcked >= 0, "bytesAcked is never negative");
        fuzz::require(static_cast<uint32_t>(session.bytesAcked) <= imageSize, "bytesAcked never exceeds the image");
        fuzz::require(session.block <= session.blockCount + 1, "the block never passes blockCount + 1");
        fuzz::require(session.ticks >= 0 && session.ticks < kTicksPerInterval, "ticks within an interval");
        fuzz::require(session.intervals >= 0 && session.intervals <= kIntervalsBeforeTimeout, "intervals within 0..30");
    }

    // The DATA packet of the block last sent, built as sendDataBlock builds it.
    void sendBlock() {
        fuzz::require(session.block >= 1 && session.block <= session.blockCount, "DATA only for blocks 1..count");
        fuzz::require(session.blockSize >= 0 && session.blockSize <= kTftpBlockSize, "a block has 0..512 bytes");
        const uint8_t* data = session.blockData;
        fuzz::require(data >= image && data + session.blockSize <= image + imageSize, "a block lies inside the image");
        fuzz::require(data == image + (session.block - 1) * static_cast<size_t>(kTftpBlockSize),
                      "block k starts at (k - 1) * 512");
        int length = buildDataBlock(area(), sentBlock(session), session.block);
        fuzz::require(length == session.blockSize + 4, "DATA is 4 bytes longer than its block");
        fuzz::require(getU16BE(packet.get() + 2) == (session.block & 0xffff), "DATA carries the block number");
    }

    void tick() {
        switch (countTicks(&session, 1)) {
            case TickVerdict::Wait: break;
            case TickVerdict::ResendOptionAck:
                fuzz::require(session.block == 0, "the OACK is resent only while unacknowledged");
                buildOptionAck(area(), imageSize);
                break;
            case TickVerdict::ResendBlock: sendBlock(); break;
            case TickVerdict::TimedOut:
                fuzz::require(session.state == TransferState::TimedOut, "a time-out ends in TimedOut");
                ended = true;
                break;
        }
    }

    void receive(const uint8_t* bytes, int length, Endpoint source) {
        switch (handleSessionDatagram(&session, bytes, length, source)) {
            case SessionVerdict::Idle:
            case SessionVerdict::Foreign: tick(); break;
            case SessionVerdict::SecondRequest:
                fuzz::require(session.secondRequest && source.address == session.peer.address &&
                                  source.port != session.peer.port,
                              "a second requester asks from the peer's address on another port");
                tick();
                break;
            case SessionVerdict::Discard: break;
            case SessionVerdict::SendBlock: sendBlock(); break;
            case SessionVerdict::Complete:
                fuzz::require(session.block == session.blockCount + 1, "complete after the final block");
                fuzz::require(static_cast<uint32_t>(session.bytesAcked) == imageSize,
                              "a complete transfer acknowledged the whole image");
                ended = true;
                break;
        }
        checkInvariants();
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setTraceSink(discardTrace);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    uint32_t imageSize = ((static_cast<uint32_t>(data[0]) << 8) | data[1]) % (9 * 512 + 512);
    data += 2;
    size -= 2;

    std::unique_ptr<uint8_t[]> image(new uint8_t[imageSize == 0 ? 1 : imageSize]);
    for (uint32_t i = 0; i < imageSize; ++i) image[i] = static_cast<uint8_t>(i * 131 + i / 512);

    Transfer transfer;
    transfer.image = image.get();
    transfer.imageSize = imageSize;
    initTftpSession(&transfer.session, kInvalidSocket, {kPeer, kPeerPort}, image.get(), imageSize);
    fuzz::require(transfer.session.blockCount == imageSize / 512 + 1, "blockCount");
    buildOptionAck(transfer.area(), imageSize);
    transfer.checkInvariants();

    while (size >= 2 && !transfer.ended) {
        uint8_t flags = data[0];
        size_t length = data[1];
        if (length > size - 2) length = size - 2;
        const uint8_t* bytes = data + 2;
        data += 2 + length;
        size -= 2 + length;

        uint32_t address = kPeer;
        uint16_t port = kPeerPort;
        int received = static_cast<int>(length);
        switch (flags & 3) {
            case 0: break;
            case 1: port = static_cast<uint16_t>(kPeerPort + 1); break;
            case 2: address = kPeer + 1; break;
            case 3: received = -1; break;
        }
        std::unique_ptr<uint8_t[]> datagram;
        if ((flags & 4) != 0 && received >= 0) {
            datagram.reset(new uint8_t[4]);
            putU16BE(datagram.get(), kTftpAck);
            putU16BE(datagram.get() + 2, transfer.session.block);
            received = 4;
        } else {
            datagram = fuzz::exactCopy(bytes, length);
        }
        transfer.receive(datagram.get(), received, {address, port});

        if ((flags & 8) != 0) {
            int ticks = 1 + (flags >> 4) * 7;  // 1..106
            for (int i = 0; i < ticks && !transfer.ended; ++i) transfer.receive(nullptr, -1, {0, 0});
        }
    }
    return 0;
}
