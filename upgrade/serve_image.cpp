#include "upgrade/serve_image.h"

#include <algorithm>
#include <cstdlib>

#include "platform/clock.h"
#include "platform/socket_address.h"
#include "platform/threads.h"
#include "platform/windowing.h"
#include "tftp/packets.h"
#include "upgrade/dialog_ids.h"
#include "upgrade/dialog_procs.h"
#include "upgrade/error_box.h"
#include "upgrade/port_turns.h"
#include "upgrade/run_observer.h"
#include "upgrade/run_state.h"
#include "upgrade/upload_and_verify.h"
#include "upgrade/waiting_hint.h"

namespace orb {

int advanceIdlePosition(int position, uint32_t ticks) {
    return static_cast<int>((static_cast<uint32_t>(position) + ticks % kIdlePositionLimit) % kIdlePositionLimit);
}

uint16_t startTftpListener(uint32_t localAddress) {
    // Never freed: the transfer keeps using the socket until the process ends.
    auto* listener = static_cast<TftpListener*>(std::calloc(1, sizeof(TftpListener)));
    if (listener == nullptr) failRun(RunOutcome::ListenerAllocationFailed);
    listener->udpSocket = socketCalls().open(SocketType::Datagram);
    if (listener->udpSocket == kInvalidSocket) failRun(RunOutcome::ListenerSocketFailed);
    takePortTurn(PortKind::Listener);
    uint16_t port = bindFirstFreePort(listener->udpSocket, localAddress, kFirstTftpPort, kTftpPortTries);
    while (port == 0 && retryPortSearch(PortKind::Listener))
        port = bindFirstFreePort(listener->udpSocket, localAddress, kFirstTftpPort, kTftpPortTries);
    if (port == 0) failRun(RunOutcome::ListenerBindFailed);
    listener->localAddress = localAddress;
    listener->boundPort = port;
    if (RunObserver* observer = runObserver()) observer->listening(port);
    // The handle is not kept: the thread lives until the process ends.
    if (startThread(tftpListenerThread, listener) == nullptr) failRun(RunOutcome::ListenerThreadFailed);
    return port;
}

ReadRequestPeer waitForReadRequest(TftpListener* listener) {
    WindowHandle window = createModelessDialog(runState.instance, kWaitingWindowId, progressDialogProc);
    if (window != nullptr) {
        setProgressRange(window, kProgressBarId, 0, kIdlePositionLimit);
        setProgressPosition(window, kProgressBarId, 0);
    }
    reportWindowShown(RunStep::Waiting, window);
    setNonBlocking(listener->udpSocket, true);

    WaitingHint hint = startWaitingHint();
    IgnoredRequesters ignored;
    int idlePosition = 0;
    uint32_t counted = readWaitTicks();  // the bar has moved for the ticks up to here
    for (;;) {
        updateWaitingHint(&hint, window, listener->boundPort, listener->localAddress, ignored);
        sockaddr_in source;
        int length = receiveDatagram(listener->udpSocket, listener->packet, sizeof listener->packet, &source);
        ListenerPeers peers{0, 0, runState.deviceAddress};
        if (length >= 0) readSockaddr(&source, &peers.sourceAddress, &peers.sourcePort);
        switch (handleListenerDatagram(listener->packet, length, runState.tftpFileName, peers)) {
            case ListenerVerdict::Idle: {
                // Until a datagram, a message for the window, the next frame the
                // view can show, or the hint's time, whichever comes first.
                int idleMs = std::max(kIdleFrameMs, readProgressFrameMs());
                if (!hint.shown)
                    idleMs = static_cast<int>(std::min<uint32_t>(idleMs, std::max(1u, readWaitingHintDelay(hint))));
                waitForInput(window, listener->udpSocket, 1, idleMs);
                uint32_t now = readWaitTicks();
                idlePosition = advanceIdlePosition(idlePosition, now - counted);
                counted = now;
                if (window != nullptr) {
                    setProgressPosition(window, kProgressBarId, idlePosition);
                    pumpAllMessages(window);
                }
                break;
            }
            case ListenerVerdict::Foreign:
                // Remembered for the hint, which names the host once it is due.
                noteIgnoredRequester(&ignored, peers.sourceAddress);
                [[fallthrough]];
            case ListenerVerdict::Ignore:
                // A stream of stray datagrams leaves no idle pass; Cancel must
                // still work, so one message is served per ignored datagram.
                if (window != nullptr) pumpOneMessage(window);
                break;
            case ListenerVerdict::Accept:
                if (window != nullptr) destroyWindow(window);
                reportWindowClosed(RunStep::Waiting, window);
                return {peers.sourceAddress, peers.sourcePort};
        }
    }
}

int32_t tftpListenerThread(void* argument) {
    auto* listener = static_cast<TftpListener*>(argument);
    ReadRequestPeer peer = waitForReadRequest(listener);
    if (RunObserver* observer = runObserver())
        observer->uploadStarted(listener->boundPort, peer.address, peer.port, runState.firmwareImage.size);
    startTftpSession(listener->udpSocket, listener->localAddress, peer);
}

}  // namespace orb
