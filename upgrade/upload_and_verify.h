// The last part of the run, on the listener's thread: the upload with its
// window, the restart wait, the verification query and the success dialog.
// It ends the process on every path.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sockets.h"
#include "platform/windowing.h"
#include "tftp/transfer.h"
#include "upgrade/serve_image.h"

namespace orb {

// "Uploading Firmware to ORB@<address> <acked>/<size> Bytes", cut to 127
// characters: the upload window's title.
std::string formatUploadTitle(const char* deviceAddressText, int32_t bytesAcked, uint32_t imageSize);

// Takes over from the listener after the read request: the socket (bound,
// non-blocking), the local address it serves on, from which the verification
// query goes out too, and the peer's address and port. Fills the session and
// runs it.
[[noreturn]] void startTftpSession(SocketHandle udpSocket, uint32_t localAddress, ReadRequestPeer peer);

// The upload window, the transfer, the restart wait and the verification
// query, which asks runState's device address; frees the session and ends the
// process.
[[noreturn]] void runTftpSession(TftpSession* session);

// The transfer alone: serves the image in lock-step with the peer's ACKs until
// it is complete or timed out (the session's state says which), showing the
// bytes acknowledged in `window` (nullptr: none). Returns with the socket
// closed.
void transferBlocks(TftpSession* session, WindowHandle window);

}  // namespace orb
