#include "upgrade/upload_and_verify.h"

#include <cstdio>
#include <cstdlib>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/socket_address.h"
#include "platform/windowing.h"
#include "base/ipv4_text.h"
#include "base/trace.h"
#include "tftp/packets.h"
#include "upgrade/device_query.h"
#include "upgrade/dialog_ids.h"
#include "upgrade/dialog_procs.h"
#include "upgrade/error_box.h"
#include "upgrade/firmware_image.h"
#include "upgrade/port_turns.h"
#include "upgrade/restart_wait.h"
#include "upgrade/run_end.h"
#include "upgrade/run_observer.h"
#include "upgrade/run_state.h"
#include "upgrade/upgrade_verdict.h"

namespace orb {

std::string formatUploadTitle(const char* deviceAddressText, int32_t bytesAcked, uint32_t imageSize) {
    char title[128];  // the window's title buffer of old: longer titles are cut
    std::snprintf(title, sizeof title, "Uploading Firmware to ORB@%s %d/%d Bytes", deviceAddressText,
                  static_cast<int>(bytesAcked), static_cast<int>(imageSize));
    return title;
}

// Said once: on the upload window (its hint), to the observer and in the
// trace. The first requester keeps the image; the version the adapter reports
// after its restart decides the run.
static void noteSecondRequest(WindowHandle window, const TftpSession* session) {
    char note[64];
    formatSecondRequestNote(note, sizeof note, session->peerAddress);
    trace("Second read request during the transfer: %s, from port %u (the transfer goes to port %u)\n", note,
          static_cast<unsigned>(session->secondRequestPort), static_cast<unsigned>(session->peerPort));
    if (RunObserver* observer = runObserver())
        observer->secondRequest(session->peerAddress, session->secondRequestPort);
    if (window == nullptr) return;
    char hint[192];
    std::snprintf(hint, sizeof hint,
                  "Two hosts asked for the image as %s (UDP ports %u and %u): it goes to the first, and the version "
                  "the adapter reports after its restart decides.",
                  formatIPv4(session->peerAddress).c_str(), static_cast<unsigned>(session->peerPort),
                  static_cast<unsigned>(session->secondRequestPort));
    setWindowHint(window, hint);
}

static void showUploadProgress(WindowHandle window, const TftpSession* session) {
    if (RunObserver* observer = runObserver())
        observer->blockAcknowledged(static_cast<uint32_t>(session->bytesAcked), session->imageSize);
    if (window == nullptr) return;
    std::string title = formatUploadTitle(runState.deviceAddressText, session->bytesAcked, session->imageSize);
    setProgressPosition(window, kProgressBarId, static_cast<int>(session->block));
    setWindowTitle(window, title.c_str());
}

// Ticks come from readWaitTicks, never from arrivals: a datagram ends the wait
// at once (the expected ACK sends the next block without delay), is handled,
// and the wait goes on towards the same interval's end. So an interval lasts
// its 100 ticks whatever arrives.
void transferBlocks(TftpSession* session, WindowHandle window) {
    SocketHandle udpSocket = session->udpSocket;
    setNonBlocking(udpSocket, true);
    sockaddr_in peer;
    fillSockaddr(session->peerAddress, session->peerPort, &peer);
    sendOptionAck(udpSocket, session->packet, &peer, session->imageSize);
    uint32_t counted = readWaitTicks();  // ticks are counted up to here

    for (;;) {
        sockaddr_in source;
        int length = receiveDatagram(udpSocket, session->packet, sizeof session->packet, &source);
        uint32_t sourceAddress = 0;
        uint16_t sourcePort = 0;
        if (length >= 0) readSockaddr(&source, &sourceAddress, &sourcePort);
        switch (handleSessionDatagram(session, session->packet, length, sourceAddress, sourcePort)) {
            case SessionVerdict::Idle:
                if (window != nullptr) pumpOneMessage(window);
                waitForInput(window, udpSocket, 1, kTicksPerInterval - session->ticks);
                break;
            case SessionVerdict::SecondRequest: noteSecondRequest(window, session); [[fallthrough]];
            case SessionVerdict::Foreign:
            case SessionVerdict::Discard:
                // A stream of such datagrams leaves no idle pass: serve Cancel here too.
                if (window != nullptr) pumpOneMessage(window);
                break;
            case SessionVerdict::Complete:
                showUploadProgress(window, session);
                if (RunObserver* observer = runObserver()) observer->uploadComplete(session->imageSize);
                trace("All blocks ack'd\n");
                closeSocket(udpSocket);
                givePortTurnBack(PortKind::Listener);
                return;
            case SessionVerdict::SendBlock:
                showUploadProgress(window, session);
                sendDataBlock(udpSocket, session->packet, session->blockData, session->blockSize, session->block,
                              &peer);
                trace("Send block %d (%d)\n", static_cast<int>(session->block), session->blockSize);
                counted = readWaitTicks();  // the new interval starts now
                // Its ACK cannot be here yet: wait for it (or Cancel) before
                // asking the socket, which saves a receive that would find
                // nothing for every block.
                if (window != nullptr) pumpOneMessage(window);
                waitForInput(window, udpSocket, 1, kTicksPerInterval - session->ticks);
                break;
        }

        uint32_t now = readWaitTicks();
        uint32_t passed = now - counted;
        if (passed == 0) continue;
        counted = now;
        switch (countTicks(session, passed)) {
            case TickVerdict::Wait: break;
            case TickVerdict::ResendOptionAck:
                trace("ReSend option ack\n");
                sendOptionAck(udpSocket, session->packet, &peer, session->imageSize);
                break;
            case TickVerdict::ResendBlock:
                trace("ReSend block %d\n", static_cast<int>(session->block));
                sendDataBlock(udpSocket, session->packet, session->blockData, session->blockSize, session->block,
                              &peer);
                break;
            case TickVerdict::TimedOut:
                trace("Timeout for ack; upgrade failed\n");
                closeSocket(udpSocket);
                givePortTurnBack(PortKind::Listener);
                return;
        }
    }
}

void startTftpSession(SocketHandle udpSocket, uint32_t localAddress, ReadRequestPeer peer) {
    auto* session = static_cast<TftpSession*>(std::calloc(1, sizeof(TftpSession)));
    if (session == nullptr) failRun(RunOutcome::SessionAllocationFailed);
    initTftpSession(session, udpSocket, peer.address, peer.port, runState.firmwareImage.data,
                    runState.firmwareImage.size);
    session->localAddress = localAddress;
    runTftpSession(session);
}

// The verification query and the verdict: the success dialog only when the
// adapter reports the embedded image's version.
static void verifyUpgrade(const TftpSession* session) {
    // What the adapter reports now, never the version from before the
    // upgrade: a page without the label leaves it empty.
    runState.deviceInfo.softwareVersion[0] = '\0';
    // The adapter's address, whoever the transfer went to: a version read
    // from any other host would say nothing about the adapter.
    DeviceQuery query{runState.instance,       session->localAddress, kFirstLocalHttpPort,
                      runState.deviceAddress,  kDeviceHttpPort,       kStatusPagePath,
                      runState.responseBuffer, kResponseLimit,        true};
    int32_t answered = runDeviceQuery(query);
    char imageVersion[kVersionTextMax + 1];
    readVersionText(runState.firmwareImage, imageVersion);
    const char* reported = runState.deviceInfo.softwareVersion;
    UpgradeVerdict verdict =
        judgeUpgrade(answered, reported, imageVersion, session->secondRequest ? session->peerAddress : 0);
    if (answered > 0)
        if (RunObserver* observer = runObserver()) observer->versionRead(reported);
    if (verdict.outcome != RunOutcome::Success) {
        showFailure(verdict.outcome, verdict.message);
        return;
    }
    // The success dialog is the run's end: no failure of another thread follows it.
    claimRunEnd(RunOutcome::Success);
    runModalDialog(runState.instance, kSuccessDialogId, successDialogProc);
    reportRunEnded(RunOutcome::Success);
}

void runTftpSession(TftpSession* session) {
    WindowHandle window = createModelessDialog(runState.instance, kUploadWindowId, progressDialogProc);
    if (window != nullptr) {
        setProgressRange(window, kProgressBarId, 0, static_cast<int>(session->blockCount & 0xffff));
    }
    reportWindowShown(RunStep::Upload, window);
    transferBlocks(session, window);

    runRestartWait(window, runState.deviceAddressText);
    if (window != nullptr) destroyWindow(window);
    reportWindowClosed(RunStep::Upload, window);

    if (session->state == TransferState::TimedOut) {
        showFailure(RunOutcome::UploadIncomplete);
    } else {
        verifyUpgrade(session);
    }
    std::free(session);
    endProcess(0);
}

}  // namespace orb
