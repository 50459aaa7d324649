// The TFTP side when a socket call fails, provoked in-process through the
// socket call table.
#include <gtest/gtest.h>

#include "tftp/listener_datagram.h"
#include "tftp/packets.h"
#include "tests/support/fake_sockets.h"

namespace orb {
namespace {

using test::FakeSockets;
using test::FakeSocketsInstalled;

TEST(TftpSocketCalls, AFailedOrOverlongReceiveIsNothingReceived) {
    FakeSockets fake;
    fake.receiveFromResults = {-1, kTftpPacketSize + 1, 4, 0};
    FakeSocketsInstalled installed(&fake);
    uint8_t packet[kTftpPacketSize];
    sockaddr_in source;
    EXPECT_EQ(receiveDatagram(7, packet, &source), -1);  // an error
    EXPECT_EQ(receiveDatagram(7, packet, &source), -1);  // cut: lost
    EXPECT_EQ(receiveDatagram(7, packet, &source), 4);
    EXPECT_EQ(receiveDatagram(7, packet, &source), 0);  // an empty datagram
}

TEST(TftpSocketCalls, ThePortSearchStopsAtItsLastTry) {
    FakeSockets fake;
    fake.bindFailures = -1;
    {
        FakeSocketsInstalled installed(&fake);
        EXPECT_EQ(bindFirstFreePort(7, {0x7f000001, kFirstTftpPort}, kTftpPortTries), 0);
    }
    EXPECT_EQ(fake.binds, 100);  // 69 .. 168

    FakeSockets some;
    some.bindFailures = 3;
    FakeSocketsInstalled installed(&some);
    EXPECT_EQ(bindFirstFreePort(7, {0x7f000001, kFirstTftpPort}, kTftpPortTries), 72);
}

}  // namespace
}  // namespace orb
