// orb-sim's fault options added for the reliability runs: loss of the
// server's datagrams, corrupted ACK block numbers, late copies of ACKs, and
// the command line that switches them on.
#include <gtest/gtest.h>

#include <algorithm>

#include "sim/options.h"
#include "sim/tftp_fetch.h"

namespace orb::sim {
namespace {

constexpr uint32_t kServer = 0x7f0007c8;  // 127.0.7.200

std::string oack(size_t size) {
    std::string packet("\0\6", 2);
    packet += std::string("tsize") + '\0' + std::to_string(size) + '\0' + "timeout" + '\0' + "5" + '\0';
    return packet;
}

std::string data(unsigned block, size_t length) {
    std::string packet("\0\3", 2);
    packet += static_cast<char>((block >> 8) & 255);
    packet += static_cast<char>(block & 255);
    packet += std::string(length, static_cast<char>('a' + block % 26));
    return packet;
}

struct Fetch {
    explicit Fetch(TftpFaults faults)
        : fetch(settings(faults), [this](const EventLine& line) { events.push_back(line); }) {
        fetch.start(0, &out);
        out.clear();
    }
    static TftpFetchSettings settings(TftpFaults faults) {
        TftpFetchSettings s;
        s.serverAddress = kServer;
        s.serverPort = 69;
        s.fileName = "/orb1a2b.bin";
        s.timeoutMs = 1000;
        s.faults = faults;
        return s;
    }
    void deliver(const std::string& packet) {
        fetch.receive(reinterpret_cast<const uint8_t*>(packet.data()), packet.size(), kServer, 69, 0, &out);
    }
    size_t count(const std::string& name) const {
        return static_cast<size_t>(
            std::count_if(events.begin(), events.end(), [&](const EventLine& e) { return e.name == name; }));
    }
    std::vector<EventLine> events;
    std::vector<TftpDatagram> out;
    TftpFetch fetch;
};

TEST(SimFaults, EveryServerDatagramLostAtOneHundredPercent) {
    TftpFaults faults;
    faults.dropDataPercent = 100;
    Fetch f(faults);
    f.deliver(oack(600));
    EXPECT_TRUE(f.out.empty());
    EXPECT_EQ(f.fetch.state(), TftpFetch::State::Requesting);
    EXPECT_EQ(f.count("tftp-data-dropped"), 1u);
}

TEST(SimFaults, SomeServerDatagramsLostAtFiftyPercentAndTheImageStillWhole) {
    TftpFaults faults;
    faults.dropDataPercent = 50;
    faults.seed = 3;
    Fetch f(faults);
    // The server resends until the ACK comes, as the utility does.
    for (int i = 0; i < 64 && f.fetch.state() == TftpFetch::State::Requesting; ++i) f.deliver(oack(600));
    ASSERT_EQ(f.fetch.state(), TftpFetch::State::Receiving);
    for (unsigned block = 1; block <= 2; ++block) {
        for (int i = 0; i < 64 && f.fetch.blocksReceived() < block; ++i) f.deliver(data(block, block == 1 ? 512 : 88));
    }
    EXPECT_TRUE(f.fetch.imageComplete());
    EXPECT_EQ(f.fetch.image().size(), 600u);
    EXPECT_GT(f.count("tftp-data-dropped"), 0u);
}

TEST(SimFaults, CorruptedAcksNeverCarryTheRightBlock) {
    TftpFaults faults;
    faults.corruptAckPercent = 100;
    Fetch f(faults);
    f.deliver(oack(1100));
    f.deliver(data(1, 512));
    f.deliver(data(2, 512));
    ASSERT_EQ(f.out.size(), 3u);
    const unsigned right[] = {0, 1, 2};
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_EQ(f.out[i].bytes.size(), 4u);
        unsigned wire =
            (static_cast<unsigned char>(f.out[i].bytes[2]) << 8) | static_cast<unsigned char>(f.out[i].bytes[3]);
        EXPECT_NE(wire, right[i]);
    }
    EXPECT_EQ(f.count("tftp-ack-corrupted"), 3u);
}

TEST(SimFaults, AckEchoSendsALateCopy) {
    TftpFaults faults;
    faults.ackEchoMs = 40;
    Fetch f(faults);
    f.deliver(oack(100));
    ASSERT_EQ(f.out.size(), 2u);
    EXPECT_EQ(f.out[0].bytes, f.out[1].bytes);
    EXPECT_EQ(f.out[0].holdMs, 0);
    EXPECT_EQ(f.out[1].holdMs, 40);
}

TEST(SimFaults, TheCommandLineSwitchesThemOn) {
    SimConfig config;
    std::string error;
    ASSERT_EQ(parseOptions({"--drop-data-percent=20", "--corrupt-ack-percent=5", "--ack-echo-ms=3",
                            "--pause-after-block=700", "--pause-ms=2000", "--fetch-delay-ms=300"},
                           &config, &error),
              ParseOutcome::Run)
        << error;
    EXPECT_EQ(config.faults.dropDataPercent, 20);
    EXPECT_EQ(config.faults.corruptAckPercent, 5);
    EXPECT_EQ(config.faults.ackEchoMs, 3);
    EXPECT_EQ(config.pauseAfterBlock, 700);
    EXPECT_EQ(config.pauseMs, 2000);
    EXPECT_EQ(config.fetchDelayMs, 300);
    EXPECT_EQ(parseOptions({"--pause-after-block=0"}, &config, &error), ParseOutcome::Error);
    EXPECT_EQ(parseOptions({"--drop-data-percent=101"}, &config, &error), ParseOutcome::Error);
    for (const char* name : {"--drop-data-percent", "--corrupt-ack-percent", "--ack-echo-ms", "--pause-after-block",
                             "--pause-ms", "--fetch-delay-ms"}) {
        EXPECT_NE(helpText().find(std::string("  ") + name), std::string::npos) << name;
    }
}

}  // namespace
}  // namespace orb::sim
