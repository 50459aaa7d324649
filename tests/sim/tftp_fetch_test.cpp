// The adapter's TFTP client as a state machine: the test plays the server and
// the clock.
#include <gtest/gtest.h>

#include "sim/tftp_fetch.h"
#include "tests/sim/sim_test_helpers.h"

namespace orb::sim {
namespace {

constexpr uint32_t kServer = 0x7f000465;  // 127.0.4.101

std::string oack(size_t size, const std::string& timeout = "5") {
    std::string packet("\0\6", 2);
    packet += std::string("tsize") + '\0' + std::to_string(size) + '\0';
    if (!timeout.empty()) packet += std::string("timeout") + '\0' + timeout + '\0';
    return packet;
}

std::string data(unsigned block, const std::vector<uint8_t>& image) {
    std::string packet("\0\3", 2);
    packet += static_cast<char>((block >> 8) & 255);
    packet += static_cast<char>(block & 255);
    size_t offset = (block - 1) * size_t{512};
    size_t length = std::min<size_t>(512, image.size() - std::min(offset, image.size()));
    packet.append(reinterpret_cast<const char*>(image.data()) + std::min(offset, image.size()), length);
    return packet;
}

struct Harness {
    explicit Harness(TftpFaults faults = {}, int timeoutMs = 1000, int retries = 3)
        : fetch(makeSettings(faults, timeoutMs, retries), [this](const EventLine& line) { events.push_back(line); }) {
        fetch.start(now, &out);
    }

    // The time-out, then the retries, as Harness takes them and TftpFetchSettings orders them.
    // NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
    static TftpFetchSettings makeSettings(TftpFaults faults, int timeoutMs, int retries) {
        TftpFetchSettings settings;
        settings.serverAddress = kServer;
        settings.serverPort = 69;
        settings.fileName = "/orb1a2b.bin";
        settings.timeoutMs = timeoutMs;
        settings.retries = retries;
        settings.faults = faults;
        return settings;
    }

    void deliver(const std::string& packet, uint16_t port = 69, uint32_t from = kServer) {
        fetch.receive(reinterpret_cast<const uint8_t*>(packet.data()), packet.size(), from, port, now, &out);
    }
    void advance(int64_t ms) {
        now += ms;
        fetch.tick(now, &out);
    }
    // The block numbers of the ACKs sent since the last call (other packets are kept).
    std::vector<unsigned> takeAcks() {
        std::vector<unsigned> acks;
        std::vector<TftpDatagram> rest;
        for (const TftpDatagram& datagram : out) {
            const std::string& bytes = datagram.bytes;
            if (bytes.size() == 4 && bytes[0] == 0 && bytes[1] == 4) {
                acks.push_back((static_cast<unsigned char>(bytes[2]) << 8) | static_cast<unsigned char>(bytes[3]));
            } else {
                rest.push_back(datagram);
            }
        }
        out = rest;
        return acks;
    }
    size_t countEvents(const std::string& name) const {
        size_t count = 0;
        for (const EventLine& line : events) count += line.name == name;
        return count;
    }

    int64_t now = 0;
    std::vector<TftpDatagram> out;
    std::vector<EventLine> events;
    TftpFetch fetch;
};

TEST(SimTftpFetch, ReadRequestNamesTheFileInOctetModeAndAsksForTheSize) {
    Harness harness;
    ASSERT_EQ(harness.out.size(), 1u);
    EXPECT_EQ(harness.out[0].port, 69);
    EXPECT_EQ(harness.out[0].bytes, std::string("\0\1/orb1a2b.bin\0octet\0tsize\0"
                                                "0\0",
                                                29));
    EXPECT_EQ(harness.fetch.state(), TftpFetch::State::Requesting);
    ASSERT_FALSE(harness.events.empty());
    EXPECT_EQ(harness.events[0].name, "tftp-rrq");
    EXPECT_EQ(harness.events[0].value("file"), "/orb1a2b.bin");
}

TEST(SimTftpFetch, LockStepTransferAcknowledgesEachBlockOnceAndEndsAtTheShortBlock) {
    auto image = test::makeTestImage(5000, "2.0.10(a)");  // 9 full blocks and one of 392 bytes
    Harness harness;
    harness.out.clear();
    harness.deliver(oack(image.size()));
    EXPECT_EQ(harness.takeAcks(), std::vector<unsigned>{0});
    EXPECT_EQ(harness.fetch.announcedSize(), 5000u);
    for (unsigned block = 1; block <= 10; ++block) {
        harness.deliver(data(block, image));
        EXPECT_EQ(harness.takeAcks(), std::vector<unsigned>{block});
    }
    EXPECT_EQ(harness.fetch.state(), TftpFetch::State::Dallying);
    EXPECT_TRUE(harness.fetch.imageComplete());
    EXPECT_EQ(harness.fetch.image(), image);
    EXPECT_EQ(harness.fetch.acksSent(), 11u);
    EXPECT_EQ(harness.countEvents("tftp-done"), 1u);
    harness.advance(1000);
    EXPECT_EQ(harness.fetch.state(), TftpFetch::State::Done);
}

TEST(SimTftpFetch, ASizeThatIsAMultipleOf512EndsWithAnEmptyBlock) {
    auto image = test::makeTestImage(1024, "1.0");
    Harness harness;
    harness.deliver(oack(1024));
    harness.deliver(data(1, image));
    harness.deliver(data(2, image));
    EXPECT_EQ(harness.fetch.state(), TftpFetch::State::Receiving);
    harness.deliver(std::string("\0\3\0\3", 4));
    EXPECT_EQ(harness.takeAcks(), (std::vector<unsigned>{0, 1, 2, 3}));
    EXPECT_TRUE(harness.fetch.imageComplete());
    EXPECT_EQ(harness.fetch.image().size(), 1024u);
}

TEST(SimTftpFetch, AResentBlockIsAcknowledgedAgainAndNotStoredTwice) {
    auto image = test::makeTestImage(2000, "1.0");
    Harness harness;
    harness.deliver(oack(image.size()));
    harness.deliver(data(1, image));
    harness.deliver(data(1, image));      // the server did not see our ACK 1
    harness.deliver(oack(image.size()));  // nor is a late OACK taken again
    harness.deliver(data(2, image));
    harness.deliver(data(3, image));
    harness.deliver(data(4, image));
    EXPECT_EQ(harness.takeAcks(), (std::vector<unsigned>{0, 1, 1, 2, 3, 4}));
    EXPECT_EQ(harness.fetch.image(), image);
}

TEST(SimTftpFetch, AResentOackIsAcknowledgedAgain) {
    Harness harness;
    harness.deliver(oack(600));
    harness.deliver(oack(600));
    EXPECT_EQ(harness.takeAcks(), (std::vector<unsigned>{0, 0}));
}

TEST(SimTftpFetch, DropAckLosesTheNthAckPacketOnly) {
    auto image = test::makeTestImage(2000, "1.0");
    TftpFaults faults;
    faults.dropAcks = {3};  // ACK 0 is the first, so the third is ACK 2
    Harness harness(faults);
    harness.deliver(oack(image.size()));
    harness.deliver(data(1, image));
    harness.deliver(data(2, image));
    EXPECT_EQ(harness.takeAcks(), (std::vector<unsigned>{0, 1}));
    EXPECT_EQ(harness.countEvents("tftp-ack-dropped"), 1u);
    harness.deliver(data(2, image));  // the server's resend
    harness.deliver(data(3, image));
    harness.deliver(data(4, image));
    EXPECT_EQ(harness.takeAcks(), (std::vector<unsigned>{2, 3, 4}));
    EXPECT_TRUE(harness.fetch.imageComplete());
}

TEST(SimTftpFetch, DropDataIgnoresTheFirstArrivalOfThatBlock) {
    auto image = test::makeTestImage(1500, "1.0");
    TftpFaults faults;
    faults.dropData = {2};
    Harness harness(faults);
    harness.deliver(oack(image.size()));
    harness.deliver(data(1, image));
    harness.deliver(data(2, image));
    EXPECT_EQ(harness.takeAcks(), (std::vector<unsigned>{0, 1}));
    EXPECT_EQ(harness.countEvents("tftp-data-dropped"), 1u);
    harness.deliver(data(2, image));
    harness.deliver(data(3, image));
    EXPECT_EQ(harness.takeAcks(), (std::vector<unsigned>{2, 3}));
    EXPECT_EQ(harness.fetch.image(), image);
}

TEST(SimTftpFetch, DuplicateAcksSendsEveryAckTwice) {
    auto image = test::makeTestImage(700, "1.0");
    TftpFaults faults;
    faults.duplicateAcks = true;
    Harness harness(faults);
    harness.deliver(oack(image.size()));
    harness.deliver(data(1, image));
    harness.deliver(data(2, image));
    EXPECT_EQ(harness.takeAcks(), (std::vector<unsigned>{0, 0, 1, 1, 2, 2}));
    EXPECT_EQ(harness.fetch.acksSent(), 3u);
}

TEST(SimTftpFetch, StopAfterBlocksGoesQuietAndGivesUpAfterItsRetries) {
    auto image = test::makeTestImage(3000, "1.0");
    TftpFaults faults;
    faults.stopAfterBlocks = 2;
    Harness harness(faults, 1000, 3);
    harness.deliver(oack(image.size()));
    harness.deliver(data(1, image));
    harness.deliver(data(2, image));
    harness.deliver(data(3, image));
    harness.deliver(data(3, image));
    EXPECT_EQ(harness.takeAcks(), (std::vector<unsigned>{0, 1, 2}));
    EXPECT_EQ(harness.countEvents("tftp-ack-withheld"), 2u);
    for (int i = 0; i < 3; ++i) {
        harness.advance(1000);
        EXPECT_EQ(harness.fetch.state(), TftpFetch::State::Receiving);
    }
    EXPECT_TRUE(harness.takeAcks().empty());  // no ACK resent on the time-outs either
    harness.advance(1000);
    EXPECT_EQ(harness.fetch.state(), TftpFetch::State::Failed);
    EXPECT_EQ(harness.fetch.failure(), "timeout");
    EXPECT_EQ(harness.fetch.image().size(), 1024u);
}

TEST(SimTftpFetch, IgnoreOackNeverAcknowledgesIt) {
    TftpFaults faults;
    faults.ignoreOack = true;
    Harness harness(faults, 500, 2);
    harness.deliver(oack(1000));
    harness.deliver(oack(1000));
    EXPECT_TRUE(harness.takeAcks().empty());
    harness.advance(500);
    harness.advance(500);
    harness.advance(500);
    EXPECT_EQ(harness.fetch.state(), TftpFetch::State::Failed);
}

TEST(SimTftpFetch, UnansweredReadRequestIsResentThenGivenUp) {
    Harness harness(TftpFaults{}, 200, 2);
    harness.out.clear();
    harness.advance(199);
    EXPECT_TRUE(harness.out.empty());
    harness.advance(1);
    ASSERT_EQ(harness.out.size(), 1u);
    EXPECT_EQ(harness.out[0].bytes[1], 1);  // the RRQ again
    harness.advance(200);
    EXPECT_EQ(harness.out.size(), 2u);
    harness.advance(200);
    EXPECT_EQ(harness.fetch.state(), TftpFetch::State::Failed);
    EXPECT_EQ(harness.fetch.failure(), "timeout");
    EXPECT_EQ(harness.countEvents("tftp-timeout"), 2u);
    EXPECT_EQ(harness.countEvents("tftp-failed"), 1u);
}

TEST(SimTftpFetch, ASilentServerGetsTheLastAckAgainAfterATimeout) {
    auto image = test::makeTestImage(2000, "1.0");
    Harness harness(TftpFaults{}, 300, 5);
    harness.deliver(oack(image.size()));
    harness.deliver(data(1, image));
    harness.takeAcks();
    harness.advance(300);
    EXPECT_EQ(harness.takeAcks(), std::vector<unsigned>{1});
    harness.deliver(data(2, image));  // progress starts the time-out afresh
    harness.takeAcks();
    harness.advance(299);
    EXPECT_TRUE(harness.takeAcks().empty());
    harness.advance(1);
    EXPECT_EQ(harness.takeAcks(), std::vector<unsigned>{2});
}

TEST(SimTftpFetch, WithoutItsOwnTimeoutTheClientUsesTheServersOption) {
    Harness harness(TftpFaults{}, 0, 5);
    EXPECT_EQ(harness.fetch.deadline(), 5000);  // before the OACK: 5 s
    harness.deliver(oack(600, "2"));
    EXPECT_EQ(harness.fetch.deadline(), 2000);
}

TEST(SimTftpFetch, PercentDropsRepeatWithTheSameSeed) {
    auto run = [](uint64_t seed) {
        TftpFaults faults;
        faults.dropAckPercent = 50;
        faults.seed = seed;
        Harness harness(faults);
        auto image = test::makeTestImage(512 * 40 + 1, "1.0");
        // The server resends each packet until its ACK gets through.
        do {
            harness.deliver(oack(image.size()));
        } while (harness.takeAcks().empty());
        for (unsigned block = 1; block <= 41; ++block) {
            do {
                harness.deliver(data(block, image));
            } while (harness.takeAcks().empty());
        }
        EXPECT_EQ(harness.fetch.image(), image);
        std::vector<std::string> dropped;
        for (const EventLine& line : harness.events) {
            if (line.name == "tftp-ack-dropped") dropped.push_back(line.value("n"));
        }
        return dropped;
    };
    auto first = run(42);
    EXPECT_EQ(first, run(42));
    EXPECT_NE(first, run(43));
    EXPECT_GT(first.size(), 10u);
}

TEST(SimTftpFetch, AServerWithoutOptionsMaySendTheFirstBlockAtOnce) {
    auto image = test::makeTestImage(700, "1.0");
    Harness harness;
    harness.out.clear();
    harness.deliver(data(1, image), 3456);
    harness.deliver(data(2, image), 3456);
    EXPECT_EQ(harness.takeAcks(), (std::vector<unsigned>{1, 2}));
    EXPECT_FALSE(harness.fetch.announcedSize());
    EXPECT_TRUE(harness.fetch.imageComplete());
    for (const TftpDatagram& datagram : harness.out) EXPECT_EQ(datagram.port, 3456);
}

TEST(SimTftpFetch, PacketsFromAnotherPortGetError5AndTheTransferGoesOn) {
    auto image = test::makeTestImage(700, "1.0");
    Harness harness;
    harness.deliver(oack(image.size()));
    harness.takeAcks();
    harness.out.clear();
    harness.deliver(data(1, image), 4000);
    ASSERT_EQ(harness.out.size(), 1u);
    EXPECT_EQ(harness.out[0].port, 4000);
    EXPECT_EQ(harness.out[0].bytes.substr(0, 4), std::string("\0\5\0\5", 4));
    harness.out.clear();
    harness.deliver(data(1, image), 69, 0x7f000466);  // another address: ignored
    EXPECT_TRUE(harness.out.empty());
    harness.deliver(data(1, image));
    EXPECT_EQ(harness.takeAcks(), std::vector<unsigned>{1});
    EXPECT_EQ(harness.countEvents("tftp-foreign"), 2u);
}

TEST(SimTftpFetch, AnErrorFromTheServerEndsTheTransfer) {
    Harness harness;
    harness.deliver(TftpFetch::makeError(1, "File not found"));
    EXPECT_EQ(harness.fetch.state(), TftpFetch::State::Failed);
    EXPECT_EQ(harness.fetch.failure(), "server-error");
    ASSERT_EQ(harness.countEvents("tftp-error"), 1u);
}

TEST(SimTftpFetch, AfterTheLastBlockAResentLastBlockIsAcknowledgedAgain) {
    auto image = test::makeTestImage(600, "1.0");
    TftpFaults faults;
    faults.dropAcks = {3};  // the ACK of the last block
    Harness harness(faults);
    harness.deliver(oack(image.size()));
    harness.deliver(data(1, image));
    harness.deliver(data(2, image));
    EXPECT_EQ(harness.takeAcks(), (std::vector<unsigned>{0, 1}));
    EXPECT_EQ(harness.fetch.state(), TftpFetch::State::Dallying);
    harness.deliver(data(2, image));
    EXPECT_EQ(harness.takeAcks(), std::vector<unsigned>{2});
    EXPECT_EQ(harness.fetch.image(), image);
}

TEST(SimTftpFetch, AnOackWithABlockSizeNotAskedForIsRefused) {
    Harness harness;
    harness.out.clear();
    harness.deliver(
        std::string("\0\6blksize\0"
                    "1024\0",
                    15));
    EXPECT_EQ(harness.fetch.state(), TftpFetch::State::Failed);
    EXPECT_EQ(harness.fetch.failure(), "bad-oack");
    ASSERT_EQ(harness.out.size(), 1u);
    EXPECT_EQ(harness.out[0].bytes.substr(0, 4), std::string("\0\5\0\x08", 4));
}

}  // namespace
}  // namespace orb::sim
