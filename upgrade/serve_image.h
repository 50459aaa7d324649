// Serving the image: the TFTP listener's thread and its waiting window, until
// the adapter's read request of the run's file hands over to the upload.
#pragma once

#include <cstdint>

#include "platform/sockets.h"
#include "tftp/listener_datagram.h"

namespace orb {

inline constexpr int kIdlePositionLimit = 1000;  // the waiting bar's range 0..1000

// The waiting bar's position after `ticks` more milliseconds of waiting: one
// step each, 1, 2, ..., 999, 0, 1, ...
int advanceIdlePosition(int position, uint32_t ticks);

// The shortest sleep of the waiting listener when nothing arrives; a view that
// draws its bar less often (readProgressFrameMs) lets it sleep longer.
inline constexpr int kIdleFrameMs = 33;

struct TftpListener {
    uint32_t localAddress;
    uint16_t boundPort;
    SocketHandle udpSocket;
    uint8_t packet[1024];
};

// Binds the first free port of 69..168 on localAddress, starts the listener
// thread and returns the port. Every failure ends the process.
uint16_t startTftpListener(uint32_t localAddress);

// The sender of the adapter's read request of the run's file.
struct ReadRequestPeer {
    uint32_t address;
    uint16_t port;
};

// Shows the waiting window and serves it, the waiting hint and the ignored
// datagrams until the read request arrives; closes the window and returns its
// sender. Cancel in the window ends the process.
ReadRequestPeer waitForReadRequest(TftpListener* listener);

// The listener thread: waits for the read request, then hands over to the
// session, which ends the process.
[[noreturn]] int32_t tftpListenerThread(void* argument);

}  // namespace orb
