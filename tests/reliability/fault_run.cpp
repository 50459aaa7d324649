#include "tests/reliability/fault_run.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include <gtest/gtest.h>

#include "upgrade/dialog_ids.h"
#include "tests/support/loopback.h"
#include "tests/support/observer_lines.h"

namespace orb::test {

bool FaultRunResult::succeeded() const { return countLines(child.output, "[robot] success version=") == 1; }

int FaultRunResult::errorBoxCount() const { return countLines(child.output, "[message box] "); }

std::string FaultRunResult::errorBox() const {
    std::string marker = messageBoxLine("");  // the box's line up to its text: without the closing quote
    marker.pop_back();
    size_t at = child.output.find(marker);
    if (at == std::string::npos) return {};
    at += marker.size();
    size_t end = child.output.find("\"\n", at);
    return child.output.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

int FaultRunResult::wholeImagesReceived() const { return orb::test::wholeImagesReceived(simEvents, servedImage); }

std::string FaultRunResult::describe() const {
    std::ostringstream text;
    text << "child exited=" << child.exited << " code=" << child.exitCode << " signal=" << child.signal
         << " timedOut=" << child.timedOut << "\n";
    // The child's output without the per-block traces.
    std::istringstream lines(child.output);
    std::string line;
    int skipped = 0;
    while (std::getline(lines, line)) {
        if (line.find("[trace] Send block") != std::string::npos || line.find("[trace] ReSend") != std::string::npos) {
            ++skipped;
            continue;
        }
        text << line << "\n";
    }
    text << "(" << skipped << " block traces left out)\n";
    for (const sim::EventLine& event : simEvents) {
        if (event.name == "tftp-data" || event.name == "tftp-ack") continue;
        text << "sim: " << event.name;
        for (const auto& field : event.fields) text << " " << field.first << "=" << field.second;
        text << "\n";
    }
    return text.str();
}

FaultRunResult runWithFaults(const FaultRun& run) {
    FaultRunResult result;
    result.servedImage = embeddedImageBytes(run.imageBytes);

    UpgradeOptions upgrade;
    upgrade.simAddress = loopbackAddress(7, run.host);
    upgrade.pcAddress = loopbackAddress(7, run.host + 100);
    upgrade.simOptions = {"--restart-ms=" + std::to_string(kSimRestartMs), "--seed=7"};
    upgrade.simOptions.insert(upgrade.simOptions.end(), run.simOptions.begin(), run.simOptions.end());
    upgrade.imageBytes = run.imageBytes;
    upgrade.duringRun = run.duringRun;
    upgrade.clock = acceleratedClock<kClockSpeedUp>;
    upgrade.traceToOutput = true;
    upgrade.echoObserver = true;
    upgrade.reportDraws = false;
    upgrade.timeoutMs = run.timeoutMs;
    // An error box ends the process by itself; a success may take long under heavy loss.
    upgrade.script.successTimeoutMs = 600000;
    if (!run.cancelUploadWhenTitleHas.empty()) {
        upgrade.script.cancelWindow = kUploadWindowId;
        upgrade.script.cancelWhenTitleHas = run.cancelUploadWhenTitleHas;
    }

    SimProcess sim;
    std::optional<SimRunResult> ran = runUpgrade(sim, upgrade);
    if (!ran) {
        ADD_FAILURE() << "orb-sim did not start\n" << sim.diagnostics();
        return result;
    }
    result.child = ran->program;

    // What orb-sim logged up to now (the verification query comes last).
    sim.poll(200);
    sim.stop();
    result.simEvents = sim.events();
    result.simDiagnostics = sim.diagnostics();
    return result;
}

bool checkOutcome(const FaultRunResult& result) {
    expectNoSanitizerReport(result.child.output, "the program");
    expectNoSanitizerReport(result.simDiagnostics, "orb-sim");
    EXPECT_TRUE(result.child.exited) << "no crash, no hang\n" << result.describe();
    EXPECT_EQ(result.child.exitCode, 0) << result.describe();
    EXPECT_EQ(result.child.signal, 0) << result.describe();
    bool success = result.succeeded();
    int boxes = result.errorBoxCount();
    EXPECT_TRUE(success != (boxes == 1)) << "exactly one outcome: the success dialog or one error box\n"
                                         << result.describe();
    if (boxes > 0) {
        EXPECT_EQ(result.errorBox().rfind("Upgrade Failed: ", 0), 0u) << result.describe();
    }
    if (success) {
        EXPECT_GE(result.wholeImagesReceived(), 1) << "a success needs the whole image, byte for byte\n"
                                                   << result.describe();
        const std::string expectedSha256 = sha256Hex(result.servedImage);
        for (const sim::EventLine& event : result.simEvents) {
            if (event.name != "image-received") continue;
            EXPECT_EQ(event.value("sha256"), expectedSha256) << "no corrupt image\n" << result.describe();
        }
        // Once: the observer hears of the complete upload exactly once.
        const std::string complete = uploadCompleteLine(static_cast<uint32_t>(result.servedImage.size()));
        size_t first = result.child.output.find(complete);
        EXPECT_NE(first, std::string::npos) << result.describe();
        EXPECT_EQ(result.child.output.find(complete, first + 1), std::string::npos) << result.describe();
    }
    return success;
}

int openUdpFrom(uint32_t address) {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return -1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(address);
    local.sin_port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void sendDatagram(int socket, uint32_t address, uint16_t port, const std::string& bytes) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(address);
    to.sin_port = htons(port);
    ::sendto(socket, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

}  // namespace orb::test
