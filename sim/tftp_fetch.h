// The adapter's TFTP client (RFC 1350, with the tsize option of RFC 2349): one
// read request, then lock-step DATA and ACK packets until the first block
// shorter than 512 bytes. It is a state machine without sockets or clocks:
// the caller feeds it datagrams and the time in milliseconds, and sends what it
// hands back. That keeps every fault that it can inject testable on its own.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/event_log.h"

namespace orb::sim {

struct TftpFaults {
    // ACK packets to lose, by their ordinal among all ACK packets that the
    // client sends in this transfer: 1 is the ACK 0 of the OACK, and every
    // resent ACK counts as well.
    std::set<uint64_t> dropAcks;
    // Lose each ACK packet with this probability (0..100), from a generator
    // seeded with `seed`, so that a run can be repeated.
    double dropAckPercent = 0;
    uint64_t seed = 1;
    // DATA blocks (by number, 1 = the first) whose first arrival is ignored as
    // if it had been lost.
    std::set<uint64_t> dropData;
    // Send every ACK packet twice.
    bool duplicateAcks = false;
    // At least 0: acknowledge the OACK and blocks 1..N, then acknowledge and
    // take nothing more (the client goes quiet and gives up after its retries).
    int64_t stopAfterBlocks = -1;
    // Never acknowledge the OACK.
    bool ignoreOack = false;
    // Lose each arriving datagram of the server (OACK, DATA, anything from its
    // address) with this probability (0..100), from the same generator.
    double dropDataPercent = 0;
    // Send each ACK packet with this probability (0..100) with a wrong block
    // number instead of the right one (the right one is then lost).
    double corruptAckPercent = 0;
    // At least 0: send every ACK packet once more this many milliseconds
    // later, so that an old ACK arrives after newer ones (duplicated and
    // reordered).
    int ackEchoMs = -1;
};

struct TftpFetchSettings {
    uint32_t serverAddress = 0;  // host order
    uint16_t serverPort = 69;
    std::string fileName;
    // Wait for an answer before resending; 0 takes the OACK's timeout option,
    // or 5 s before the OACK and when the server gave none.
    int timeoutMs = 0;
    // Resends of the same packet after time-outs before the client gives up.
    int retries = 5;
    // Log a line for every in-order DATA block and its ACK.
    bool logBlocks = true;
    size_t maxImageBytes = 64u << 20;
    TftpFaults faults;
};

// A datagram for the server's address, to this port.
struct TftpDatagram {
    uint16_t port;
    std::string bytes;
    int holdMs = 0;  // send it this much later than the packets sent with it
};

class TftpFetch {
public:
    enum class State {
        Idle,        // start() not called yet
        Requesting,  // RRQ sent, no answer yet
        Receiving,   // OACK or DATA seen; blocks arriving
        Dallying,    // image complete; re-acknowledges a resent last block for one time-out
        Done,        // image complete, and the dally is over
        Failed,
    };

    using Logger = std::function<void(const EventLine&)>;

    TftpFetch(TftpFetchSettings settings, Logger log);

    // Sends the RRQ.
    void start(int64_t nowMs, std::vector<TftpDatagram>* out);
    // A datagram that arrived at the client's socket.
    void receive(const uint8_t* data, size_t length, uint32_t fromAddress, uint16_t fromPort, int64_t nowMs,
                 std::vector<TftpDatagram>* out);
    // Handles a time-out whose deadline has passed; nothing before it.
    void tick(int64_t nowMs, std::vector<TftpDatagram>* out);
    // When tick() has work to do; the largest value while there is none.
    int64_t deadline() const { return deadline_; }

    State state() const { return state_; }
    bool imageComplete() const { return state_ == State::Dallying || state_ == State::Done; }
    bool finished() const { return state_ == State::Done || state_ == State::Failed; }
    const std::vector<uint8_t>& image() const { return image_; }
    // Once the image has been taken: a fleet of a thousand adapters would
    // otherwise hold a thousand images.
    void releaseImage() { std::vector<uint8_t>().swap(image_); }
    std::optional<uint64_t> announcedSize() const { return announcedSize_; }
    const std::string& failure() const { return failure_; }
    uint64_t blocksReceived() const { return expected_ - 1; }
    uint64_t acksSent() const { return ackCount_; }

    // The packets, for the client and for tests that play the server.
    static std::string makeRrq(const std::string& fileName, bool withTsize);
    static std::string makeAck(uint16_t block);
    static std::string makeError(uint16_t code, const std::string& message);

private:
    static constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

    int currentTimeout() const;
    void sendAck(uint64_t block, const char* note, std::vector<TftpDatagram>* out);
    void handleOack(const uint8_t* data, size_t length, int64_t nowMs, std::vector<TftpDatagram>* out);
    void handleData(const uint8_t* data, size_t length, int64_t nowMs, std::vector<TftpDatagram>* out);
    void fail(const std::string& reason);
    bool ackWithheld(uint64_t block) const;
    double nextRandomPercent();
    void log(const EventLine& line) {
        if (log_) log_(line);
    }

    TftpFetchSettings settings_;
    Logger log_;
    State state_ = State::Idle;
    uint16_t tid_ = 0;  // the server's port, once it has answered
    bool haveTid_ = false;
    std::optional<uint64_t> announcedSize_;
    int oackTimeoutSeconds_ = 0;
    uint64_t expected_ = 1;  // the next block to take
    std::vector<uint8_t> image_;
    std::set<uint64_t> droppedData_;
    uint64_t ackCount_ = 0;
    bool haveLastAck_ = false;
    uint64_t lastAckBlock_ = 0;
    int retries_ = 0;
    int64_t deadline_ = kNever;
    std::string failure_;
    uint64_t random_;
};

}  // namespace orb::sim
