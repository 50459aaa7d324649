// The waiting listener's handling of one datagram, without socket or window.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tftp/listener_datagram.h"
#include "tests/tftp/trace_capture.h"

namespace orb {
namespace {

constexpr const char* kFileName = "/orb1a2b.bin";
constexpr uint32_t kAdapter = 0x7f000246;  // 127.0.2.70
constexpr ListenerPeers kFromAdapter{{kAdapter, 2070}, kAdapter};

// The datagram in a heap block of exactly its length, so that the sanitizer
// build catches any read past it.
class Datagram {
public:
    explicit Datagram(const std::string& bytes) : length_(static_cast<int>(bytes.size())) {
        bytes_ = std::make_unique<uint8_t[]>(bytes.size() + (bytes.empty() ? 1 : 0));
        if (!bytes.empty()) std::memcpy(bytes_.get(), bytes.data(), bytes.size());
    }
    ListenerVerdict handle(int length) const {
        return handleListenerDatagram(bytes_.get(), length, kFileName, kFromAdapter);
    }
    ListenerVerdict handle() const { return handle(length_); }
    ListenerVerdict handleFrom(uint32_t source, uint16_t port = 2070) const {
        return handleListenerDatagram(bytes_.get(), length_, kFileName, ListenerPeers{{source, port}, kAdapter});
    }

private:
    std::unique_ptr<uint8_t[]> bytes_;
    int length_;
};

std::string packet(unsigned opcode, const std::string& rest) {
    return std::string{static_cast<char>(opcode >> 8), static_cast<char>(opcode & 255)} + rest;
}

std::string readRequest(const std::string& name, const std::string& after = std::string("octet\0", 6)) {
    return packet(1, name + std::string(1, '\0') + after);
}

TEST(ListenerDatagram, AcceptsTheRunsFileNameInOctetMode) {
    test::TraceCapture trace;
    EXPECT_EQ(Datagram(readRequest(kFileName)).handle(), ListenerVerdict::Accept);
    EXPECT_EQ(trace.traced(), "");
}

TEST(ListenerDatagram, AcceptsCurlsRequestWithItsOptions) {
    std::string options(
        "octet\0tsize\0"
        "0\0blksize\0"
        "512\0timeout\0"
        "6\0",
        36);
    EXPECT_EQ(Datagram(readRequest(kFileName, options)).handle(), ListenerVerdict::Accept);
}

TEST(ListenerDatagram, AcceptsNetasciiAndRequestsWithoutOptionsOrMode) {
    EXPECT_EQ(Datagram(readRequest(kFileName, std::string("netascii\0", 9))).handle(), ListenerVerdict::Accept);
    EXPECT_EQ(Datagram(readRequest(kFileName, std::string("OCTET\0", 6))).handle(), ListenerVerdict::Accept);
    EXPECT_EQ(Datagram(readRequest(kFileName, "")).handle(), ListenerVerdict::Accept);
}

TEST(ListenerDatagram, RefusesANameThatDiffersOnlyInLetterCase) {
    test::TraceCapture trace;
    EXPECT_EQ(Datagram(readRequest("/ORB1A2B.BIN")).handle(), ListenerVerdict::Ignore);
    EXPECT_EQ(trace.traced(), "+++ Bad TFTP RRQ filename /ORB1A2B.BIN\n");
}

TEST(ListenerDatagram, RefusesTheNameWithoutItsLeadingSlash) {
    test::TraceCapture trace;
    EXPECT_EQ(Datagram(readRequest("orb1a2b.bin")).handle(), ListenerVerdict::Ignore);
    EXPECT_EQ(trace.traced(), "+++ Bad TFTP RRQ filename orb1a2b.bin\n");
}

TEST(ListenerDatagram, ComparesUpToAndIncludingTheNul) {
    test::TraceCapture trace;
    EXPECT_EQ(Datagram(readRequest("/orb1a2b.bin.old")).handle(), ListenerVerdict::Ignore);
    EXPECT_EQ(Datagram(readRequest("/orb1a2b.bi")).handle(), ListenerVerdict::Ignore);
    EXPECT_EQ(Datagram(readRequest("")).handle(), ListenerVerdict::Ignore);
    EXPECT_EQ(trace.traced(),
              "+++ Bad TFTP RRQ filename /orb1a2b.bin.old\n"
              "+++ Bad TFTP RRQ filename /orb1a2b.bi\n"
              "+++ Bad TFTP RRQ filename \n");
}

TEST(ListenerDatagram, RefusesANameWithoutNulInsideTheDatagram) {
    test::TraceCapture trace;
    // The right name, but the datagram ends before its NUL.
    Datagram truncated(packet(1, kFileName));
    EXPECT_EQ(truncated.handle(), ListenerVerdict::Ignore);
    // The same bytes followed by the NUL in the buffer, with a received length
    // that stops before it: the NUL past the length is never read.
    Datagram complete(readRequest(kFileName, ""));
    EXPECT_EQ(complete.handle(2 + 12), ListenerVerdict::Ignore);
    EXPECT_EQ(complete.handle(2 + 13), ListenerVerdict::Accept);
    EXPECT_EQ(trace.traced(),
              "+++ Bad TFTP RRQ filename /orb1a2b.bin\n"
              "+++ Bad TFTP RRQ filename /orb1a2b.bin\n");
}

TEST(ListenerDatagram, AnRrqOfTheOpcodeAloneIsRefused) {
    test::TraceCapture trace;
    EXPECT_EQ(Datagram(packet(1, "")).handle(), ListenerVerdict::Ignore);
    EXPECT_EQ(trace.traced(), "+++ Bad TFTP RRQ filename \n");
}

TEST(ListenerDatagram, ALongestNameWithoutNulIsTracedWhole) {
    test::TraceCapture trace;
    std::string name(1022, 'x');
    EXPECT_EQ(Datagram(packet(1, name)).handle(), ListenerVerdict::Ignore);
    EXPECT_EQ(trace.traced(), "+++ Bad TFTP RRQ filename " + name + "\n");
}

TEST(ListenerDatagram, TracesWriteDataAckAndErrorAndIgnoresThem) {
    test::TraceCapture trace;
    EXPECT_EQ(Datagram(packet(2, std::string("/orb1a2b.bin\0octet\0", 19))).handle(), ListenerVerdict::Ignore);
    EXPECT_EQ(Datagram(packet(3, std::string("\0\1data", 6))).handle(), ListenerVerdict::Ignore);
    EXPECT_EQ(Datagram(packet(4, std::string("\0\0", 2))).handle(), ListenerVerdict::Ignore);
    EXPECT_EQ(Datagram(packet(5, std::string("\0\1nope\0", 7))).handle(), ListenerVerdict::Ignore);
    EXPECT_EQ(trace.traced(), "TFTP Rx WRQ?\nTFTP Rx Data?\nTFTP Rx ACK?\nTFTP Rx Error?\n");
}

TEST(ListenerDatagram, TracesOpcodesThatCarryNothingMore) {
    test::TraceCapture trace;
    EXPECT_EQ(Datagram(packet(4, "")).handle(), ListenerVerdict::Ignore);
    EXPECT_EQ(trace.traced(), "TFTP Rx ACK?\n");
}

TEST(ListenerDatagram, IgnoresOpcodeZeroSixAndAboveWithoutTrace) {
    test::TraceCapture trace;
    for (unsigned opcode : {0u, 6u, 7u, 256u, 65535u}) {
        EXPECT_EQ(Datagram(packet(opcode, std::string("/orb1a2b.bin\0octet\0", 19))).handle(), ListenerVerdict::Ignore)
            << opcode;
    }
    EXPECT_EQ(trace.traced(), "");
}

// The file name is guessable: the run's own name from any other host is no
// reason to serve it.
struct ForeignCase {
    const char* what;
    uint32_t source;
    std::string name;
    friend void PrintTo(const ForeignCase& c, std::ostream* out) { *out << c.what; }
};

class ListenerForeignRequest : public testing::TestWithParam<ForeignCase> {};

TEST_P(ListenerForeignRequest, IsForeignTracedAndNeverAccepted) {
    test::TraceCapture trace;
    const ForeignCase& c = GetParam();
    EXPECT_EQ(Datagram(readRequest(c.name)).handleFrom(c.source, 4455), ListenerVerdict::Foreign);
    char from[40];
    std::snprintf(from, sizeof from, "%u.%u.%u.%u:4455", c.source >> 24, (c.source >> 16) & 255, (c.source >> 8) & 255,
                  c.source & 255);
    EXPECT_EQ(trace.traced(),
              "+++ TFTP RRQ from " + std::string(from) + ", not the adapter, ignored: " + c.name + "\n");
}

INSTANTIATE_TEST_SUITE_P(OtherHosts, ListenerForeignRequest,
                         testing::Values(ForeignCase{"RunsNameFromNeighbour", 0x7f000247, kFileName},
                                         ForeignCase{"RunsNameFromAnotherNetwork", 0x0a000001, kFileName},
                                         ForeignCase{"RunsNameFromAnyAddress", 0, kFileName},
                                         ForeignCase{"OtherNameFromNeighbour", 0x7f000245, "/orb0.bin"},
                                         ForeignCase{"RunsNameFromAdapterWithOneBitFlipped", kAdapter ^ 0x80000000u,
                                                     kFileName}),
                         [](const testing::TestParamInfo<ForeignCase>& info) { return std::string(info.param.what); });

TEST(ListenerDatagram, TheAdaptersRequestFromAnyPortIsAccepted) {
    EXPECT_EQ(Datagram(readRequest(kFileName)).handleFrom(kAdapter, 1), ListenerVerdict::Accept);
    EXPECT_EQ(Datagram(readRequest(kFileName)).handleFrom(kAdapter, 65535), ListenerVerdict::Accept);
}

TEST(ListenerDatagram, OtherPacketsFromOtherHostsAreStrayAsBefore) {
    test::TraceCapture trace;
    EXPECT_EQ(Datagram(packet(4, std::string("\0\1", 2))).handleFrom(0x7f000247), ListenerVerdict::Ignore);
    EXPECT_EQ(Datagram(packet(2, std::string("/orb1a2b.bin\0octet\0", 19))).handleFrom(0x7f000247),
              ListenerVerdict::Ignore);
    EXPECT_EQ(trace.traced(), "TFTP Rx ACK?\nTFTP Rx WRQ?\n");
}

TEST(ListenerDatagram, NothingOrTooShortForAnOpcodeIsAnIdlePass) {
    test::TraceCapture trace;
    Datagram one(std::string(1, '\1'));
    EXPECT_EQ(one.handle(-1), ListenerVerdict::Idle);
    EXPECT_EQ(one.handle(0), ListenerVerdict::Idle);
    EXPECT_EQ(one.handle(), ListenerVerdict::Idle);
    EXPECT_EQ(Datagram("").handle(), ListenerVerdict::Idle);
    EXPECT_EQ(trace.traced(), "");
}

}  // namespace
}  // namespace orb
