#include "sim/tftp_fetch.h"

#include <cctype>
#include <cstdlib>

#include "sim/device_pages.h"

namespace orb::sim {

namespace {

constexpr uint16_t kRrq = 1, kData = 3, kAck = 4, kError = 5, kOack = 6;
constexpr size_t kBlockSize = 512;

uint16_t readU16(const uint8_t* bytes) { return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]); }

void appendU16(std::string* out, uint16_t value) {
    out->push_back(static_cast<char>(value >> 8));
    out->push_back(static_cast<char>(value & 255));
}

std::string endpoint(uint32_t address, uint16_t port) { return formatIPv4(address) + ":" + std::to_string(port); }

// Decimal digits only, at most 19 of them.
std::optional<uint64_t> parseDecimal(const std::string& text) {
    if (text.empty() || text.size() > 19) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

}  // namespace

std::string TftpFetch::makeRrq(const std::string& fileName, bool withTsize) {
    std::string packet;
    appendU16(&packet, kRrq);
    packet += fileName;
    packet += '\0';
    packet += "octet";
    packet += '\0';
    if (withTsize) {
        packet += "tsize";
        packet += '\0';
        packet += "0";
        packet += '\0';
    }
    return packet;
}

std::string TftpFetch::makeAck(uint16_t block) {
    std::string packet;
    appendU16(&packet, kAck);
    appendU16(&packet, block);
    return packet;
}

std::string TftpFetch::makeError(uint16_t code, const std::string& message) {
    std::string packet;
    appendU16(&packet, kError);
    appendU16(&packet, code);
    packet += message;
    packet += '\0';
    return packet;
}

TftpFetch::TftpFetch(TftpFetchSettings settings, Logger log)
    : settings_(std::move(settings)), log_(std::move(log)), random_(settings_.faults.seed) {}

int TftpFetch::currentTimeout() const {
    if (settings_.timeoutMs > 0) return settings_.timeoutMs;
    if (oackTimeoutSeconds_ > 0) return oackTimeoutSeconds_ * 1000;
    return 5000;
}

double TftpFetch::nextRandomPercent() {
    // splitmix64: small, and the same sequence on every machine.
    uint64_t z = (random_ += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) / 9007199254740992.0 * 100.0;
}

void TftpFetch::start(int64_t nowMs, std::vector<TftpDatagram>* out) {
    if (state_ != State::Idle) return;
    state_ = State::Requesting;
    out->push_back({settings_.serverPort, makeRrq(settings_.fileName, true)});
    log(EventLine("tftp-rrq")
            .add("server", endpoint(settings_.serverAddress, settings_.serverPort))
            .add("file", settings_.fileName)
            .add("mode", "octet")
            .add("tsize", "0"));
    deadline_ = nowMs + currentTimeout();
}

void TftpFetch::fail(const std::string& reason) {
    state_ = State::Failed;
    failure_ = reason;
    deadline_ = kNever;
    log(EventLine("tftp-failed")
            .add("reason", reason)
            .add("blocks", expected_ - 1)
            .add("bytes", uint64_t{image_.size()}));
}

bool TftpFetch::ackWithheld(uint64_t block) const {
    if (settings_.faults.ignoreOack && block == 0) return true;
    return settings_.faults.stopAfterBlocks >= 0 && block > static_cast<uint64_t>(settings_.faults.stopAfterBlocks);
}

void TftpFetch::sendAck(uint64_t block, const char* note, std::vector<TftpDatagram>* out) {
    if (ackWithheld(block)) {
        log(EventLine("tftp-ack-withheld")
                .add("block", block)
                .add("reason", settings_.faults.ignoreOack && block == 0 ? "ignore-oack" : "stop-after-blocks"));
        return;
    }
    haveLastAck_ = true;
    lastAckBlock_ = block;
    ++ackCount_;
    const TftpFaults& faults = settings_.faults;
    bool drop = faults.dropAcks.count(ackCount_) > 0;
    if (faults.dropAckPercent > 0 && nextRandomPercent() < faults.dropAckPercent) drop = true;
    if (drop) {
        log(EventLine("tftp-ack-dropped").add("block", block).add("n", ackCount_));
        return;
    }
    std::string packet = makeAck(static_cast<uint16_t>(block & 0xffff));
    if (faults.corruptAckPercent > 0 && nextRandomPercent() < faults.corruptAckPercent) {
        // Any other block number: the right one XOR a non-zero 16-bit value.
        auto flip = static_cast<uint16_t>(1 + static_cast<unsigned>(nextRandomPercent() / 100.0 * 65534.0));
        auto wrong = static_cast<uint16_t>((block & 0xffff) ^ flip);
        packet = makeAck(wrong);
        log(EventLine("tftp-ack-corrupted").add("block", block).add("wire-block", unsigned{wrong}).add("n", ackCount_));
    }
    out->push_back({tid_, packet});
    if (faults.duplicateAcks) out->push_back({tid_, packet});
    if (faults.ackEchoMs >= 0) out->push_back({tid_, packet, faults.ackEchoMs});
    if (note != nullptr || settings_.logBlocks || faults.duplicateAcks) {
        EventLine line("tftp-ack");
        line.add("block", block).add("n", ackCount_);
        if (note != nullptr) line.add("note", note);
        if (faults.duplicateAcks) line.add("copies", 2);
        log(line);
    }
}

void TftpFetch::receive(const uint8_t* data, size_t length, uint32_t fromAddress, uint16_t fromPort, int64_t nowMs,
                        std::vector<TftpDatagram>* out) {
    if (state_ == State::Idle || state_ == State::Done || state_ == State::Failed) return;
    uint16_t opcode = length >= 2 ? readU16(data) : 0;
    if (settings_.faults.dropDataPercent > 0 && fromAddress == settings_.serverAddress &&
        nextRandomPercent() < settings_.faults.dropDataPercent) {
        EventLine line("tftp-data-dropped");
        line.add("opcode", unsigned{opcode}).add("size", uint64_t{length}).add("reason", "percent");
        if (opcode == kData && length >= 4) line.add("wire-block", unsigned{readU16(data + 2)});
        log(line);
        return;
    }
    if (fromAddress != settings_.serverAddress) {
        log(EventLine("tftp-foreign").add("from", endpoint(fromAddress, fromPort)).add("opcode", unsigned{opcode}));
        return;
    }
    if (haveTid_ && fromPort != tid_) {
        // RFC 1350: a packet from another port of the server is answered with
        // ERROR 5, and the transfer goes on.
        log(EventLine("tftp-foreign").add("from", endpoint(fromAddress, fromPort)).add("opcode", unsigned{opcode}));
        out->push_back({fromPort, makeError(5, "Unknown transfer ID")});
        return;
    }
    if (length < 4 && opcode != kData) {
        log(EventLine("tftp-unexpected").add("opcode", unsigned{opcode}).add("size", uint64_t{length}));
        return;
    }
    if (!haveTid_) {
        haveTid_ = true;
        tid_ = fromPort;
    }
    switch (opcode) {
        case kOack: handleOack(data, length, nowMs, out); break;
        case kData: handleData(data, length, nowMs, out); break;
        case kError: {
            std::string message;
            for (size_t i = 4; i < length && data[i] != 0; ++i) message += static_cast<char>(data[i]);
            log(EventLine("tftp-error").add("code", unsigned{readU16(data + 2)}).add("message", message));
            if (state_ == State::Dallying) {
                state_ = State::Done;
                deadline_ = kNever;
            } else {
                fail("server-error");
            }
            break;
        }
        default: log(EventLine("tftp-unexpected").add("opcode", unsigned{opcode}).add("size", uint64_t{length}));
    }
}

void TftpFetch::handleOack(const uint8_t* data, size_t length, int64_t nowMs, std::vector<TftpDatagram>* out) {
    if (state_ != State::Requesting) {
        // A resent OACK: our ACK 0 went missing.
        if (state_ == State::Receiving && expected_ == 1) {
            log(EventLine("tftp-oack").add("note", "repeat"));
            sendAck(0, "repeat", out);
        } else {
            log(EventLine("tftp-unexpected").add("opcode", unsigned{kOack}).add("size", uint64_t{length}));
        }
        return;
    }
    std::vector<std::string> strings;
    std::string current;
    for (size_t i = 2; i < length; ++i) {
        if (data[i] == 0) {
            strings.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    EventLine line("tftp-oack");
    line.add("from", endpoint(settings_.serverAddress, tid_));
    if (!current.empty() || strings.size() % 2 != 0) {
        log(line.add("note", "malformed"));
        out->push_back({tid_, makeError(8, "Malformed option acknowledgement")});
        fail("bad-oack");
        return;
    }
    for (size_t i = 0; i + 1 < strings.size(); i += 2) {
        std::string name = strings[i];
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::string& value = strings[i + 1];
        line.add(name, value);
        if (name == "tsize") {
            announcedSize_ = parseDecimal(value);
            if (!announcedSize_) {
                log(line.add("note", "bad-tsize"));
                out->push_back({tid_, makeError(8, "Bad tsize")});
                fail("bad-oack");
                return;
            }
        } else if (name == "timeout") {
            auto seconds = parseDecimal(value);
            if (seconds && *seconds >= 1 && *seconds <= 255) oackTimeoutSeconds_ = static_cast<int>(*seconds);
        } else if (name == "blksize" && value != "512") {
            // The client never asked for another block size.
            log(line.add("note", "blksize-not-asked"));
            out->push_back({tid_, makeError(8, "Block size not requested")});
            fail("bad-oack");
            return;
        }
    }
    log(line);
    if (announcedSize_ && *announcedSize_ > settings_.maxImageBytes) {
        out->push_back({tid_, makeError(3, "Image too large")});
        fail("too-large");
        return;
    }
    state_ = State::Receiving;
    retries_ = 0;
    sendAck(0, nullptr, out);
    deadline_ = nowMs + currentTimeout();
}

void TftpFetch::handleData(const uint8_t* data, size_t length, int64_t nowMs, std::vector<TftpDatagram>* out) {
    if (length < 4) {
        log(EventLine("tftp-unexpected").add("opcode", unsigned{kData}).add("size", uint64_t{length}));
        return;
    }
    uint16_t wireBlock = readU16(data + 2);
    size_t size = length - 4;
    if (state_ == State::Requesting) {
        // A server without options answers the RRQ with DATA 1 at once.
        state_ = State::Receiving;
        log(EventLine("tftp-oack").add("from", endpoint(settings_.serverAddress, tid_)).add("note", "none"));
    }
    uint64_t last = expected_ - 1;
    if (state_ == State::Dallying) {
        if (wireBlock == (last & 0xffff)) {
            log(EventLine("tftp-data").add("block", last).add("size", uint64_t{size}).add("note", "repeat"));
            sendAck(last, "repeat", out);
        }
        return;
    }
    if (wireBlock != (expected_ & 0xffff)) {
        if (expected_ > 1 && wireBlock == (last & 0xffff)) {
            // The server resent the block before: our ACK went missing.
            log(EventLine("tftp-data").add("block", last).add("size", uint64_t{size}).add("note", "repeat"));
            if (!ackWithheld(last)) sendAck(last, "repeat", out);
        } else {
            log(EventLine("tftp-data")
                    .add("wire-block", unsigned{wireBlock})
                    .add("size", uint64_t{size})
                    .add("note", "out-of-order"));
        }
        return;
    }
    uint64_t block = expected_;
    if (ackWithheld(block)) {
        log(EventLine("tftp-ack-withheld").add("block", block).add("reason", "stop-after-blocks"));
        return;
    }
    if (settings_.faults.dropData.count(block) > 0 && droppedData_.insert(block).second) {
        log(EventLine("tftp-data-dropped").add("block", block).add("size", uint64_t{size}));
        return;
    }
    if (size > kBlockSize) {
        out->push_back({tid_, makeError(4, "Block larger than 512 bytes")});
        fail("oversized-block");
        return;
    }
    if (image_.size() + size > settings_.maxImageBytes) {
        out->push_back({tid_, makeError(3, "Image too large")});
        fail("too-large");
        return;
    }
    image_.insert(image_.end(), data + 4, data + length);
    ++expected_;
    retries_ = 0;
    if (settings_.logBlocks) log(EventLine("tftp-data").add("block", block).add("size", uint64_t{size}));
    sendAck(block, nullptr, out);
    deadline_ = nowMs + currentTimeout();
    if (size < kBlockSize) {
        state_ = State::Dallying;
        log(EventLine("tftp-done").add("blocks", block).add("bytes", uint64_t{image_.size()}));
    }
}

void TftpFetch::tick(int64_t nowMs, std::vector<TftpDatagram>* out) {
    if (nowMs < deadline_) return;
    if (state_ == State::Dallying) {
        state_ = State::Done;
        deadline_ = kNever;
        return;
    }
    if (state_ != State::Requesting && state_ != State::Receiving) {
        deadline_ = kNever;
        return;
    }
    if (retries_ >= settings_.retries) {
        fail("timeout");
        return;
    }
    ++retries_;
    EventLine line("tftp-timeout");
    line.add("retry", retries_).add("of", settings_.retries);
    if (state_ == State::Requesting) {
        log(line.add("resend", "rrq"));
        out->push_back({settings_.serverPort, makeRrq(settings_.fileName, true)});
    } else if (haveLastAck_ && !ackWithheld(expected_)) {
        log(line.add("resend", "ack"));
        sendAck(lastAckBlock_, "timeout", out);
    } else {
        log(line.add("resend", "none"));
    }
    deadline_ = nowMs + currentTimeout();
}

}  // namespace orb::sim
