#include "tests/tftp/tftp_test_run.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/socket_address.h"
#include "base/trace.h"
#include "upgrade/run_state.h"
#include "tests/support/dialog_robot.h"

namespace orb::test {

void prepareChildRun(const std::vector<uint8_t>& image, const char* deviceAddressText, uint32_t deviceAddress) {
    robot::setAutoAnswer(true);
    setTraceSink([](const char* text) { std::fputs(text, stderr); });
    runState.instance = nullptr;
    std::snprintf(runState.tftpFileName, sizeof runState.tftpFileName, "%s", kTestFileName);
    std::snprintf(runState.deviceAddressText, sizeof runState.deviceAddressText, "%s", deviceAddressText);
    runState.deviceAddress = deviceAddress;
    runState.firmwareImage.data = image.data();
    runState.firmwareImage.size = static_cast<uint32_t>(image.size());
    // The header copy, as loading the image makes it: the version the check
    // after the restart compares.
    std::memset(runState.firmwareImage.header, 0, sizeof runState.firmwareImage.header);
    std::memcpy(runState.firmwareImage.header, image.data(),
                std::min(image.size(), sizeof runState.firmwareImage.header));
}

uint32_t loggingFastClock() {
    uint32_t now = acceleratedClock<200>();
    std::fprintf(stderr, "[clock] %u\n", now >> 5);
    return now;
}

SocketHandle openSessionSocket(uint32_t address) {
    SocketHandle udpSocket = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (udpSocket == kInvalidSocket) return kInvalidSocket;
    sockaddr_in local;
    fillSockaddr(address, 0, &local);
    if (::bind(udpSocket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        closeSocket(udpSocket);
        return kInvalidSocket;
    }
    return udpSocket;
}

// Where to send (address and port), then the port to tell.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
void signalReady(uint32_t address, uint16_t port, uint16_t boundPort) {
    SocketHandle udpSocket = ::socket(AF_INET, SOCK_DGRAM, 0);
    char text[32];
    int length = std::snprintf(text, sizeof text, "ready %u", static_cast<unsigned>(boundPort));
    sockaddr_in to;
    fillSockaddr(address, port, &to);
    ::sendto(udpSocket, text, static_cast<size_t>(length), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    closeSocket(udpSocket);
}

}  // namespace orb::test
