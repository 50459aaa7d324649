// The TFTP listener: waits for the adapter's read request of the run's file.
#pragma once

#include <cstdint>

#include "platform/sockets.h"

namespace orb {

inline constexpr uint16_t kFirstTftpPort = 69;
inline constexpr int kTftpPortTries = 100;  // 69..168

struct TftpListener {
    uint32_t localAddress;
    uint16_t boundPort;
    SocketHandle udpSocket;
    uint8_t packet[1024];
};

// Binds the first free port of 69..168 on localAddress, starts the listener
// thread and returns the port. Every failure ends the process.
uint16_t startTftpListener(uint32_t localAddress);

int32_t tftpListenerThread(void* listener);

}  // namespace orb
