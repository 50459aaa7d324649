// Whole runs against a hostile web server in the adapter's place: an answer
// that never ends, a 10 MB answer, headers without CR LF, NUL bytes in the
// answer, a 401 loop with a new nonce every time, a challenge with
// 10,000-character values and a status page with 10,000-character values.
// Each: no crash, bounded memory, a clear outcome.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>

#include "upgrade/dialog_ids.h"
#include "tests/reliability/fault_run.h"
#include "tests/support/dialog_robot.h"
#include "tests/support/loopback.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/status_pages.h"

namespace orb::test {
namespace {

class HostileServer : public ProgramRunTest {};

// The child's peak resident memory in KiB, as the kernel counts it.
long peakResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

void reportPeakMemory() { report("peak-rss-kb=" + std::to_string(peakResidentKb())); }

long reportedPeakKb(const std::string& output) {
    size_t at = output.find("[robot] peak-rss-kb=");
    return at == std::string::npos ? -1 : std::stol(output.substr(at + 20));
}

// The program's whole footprint stays small: no allocation grows with what
// the adapter sends. (The forked test process itself is counted too.)
constexpr long kMemoryBoundKb = 64 * 1024;

std::string page(const std::string& value) {
    return "<html>" + statusTable(statusFields("<b>" + value + "</b>", value, value, value, value)) + "</html>";
}

// Reads the confirmation dialog's five fields into the output, reports the
// memory, then cancels.
void readConfirmationAndCancel() {
    WindowHandle confirm = need(kConfirmDialogId, 20000);
    for (int id : {kSerialFieldId, kMacFieldId, kSoftwareFieldId, kHardwareFieldId, kProductFieldId}) {
        std::string text = robot::controlText(confirm, id);
        report("field" + std::to_string(id) + " length=" + std::to_string(text.size()) + " text=" + text.substr(0, 40));
    }
    reportPeakMemory();
    check(robot::pressButton(confirm, kIdCancel), "Cancel");
}

struct HostileRun {
    ChildResult child;
    std::vector<RecordedRequest> requests;
    std::vector<size_t> bytesSent;
    std::chrono::milliseconds took{};
};

HostileRun runAgainst(unsigned host, const std::function<void(ScriptedHttpServer&)>& script,
                      const std::function<void()>& robotScript, int timeoutMs = 30000) {
    const uint32_t pc = loopbackAddress(7, host);
    ScriptedHttpServer adapter(pc);
    ProgramSetup setup;
    setup.pcAddresses = {pc};
    setup.traceToOutput = false;
    setup.timeoutMs = timeoutMs;
    // The server's threads start after the fork (see runInChild).
    setup.afterFork = [&] {
        EXPECT_TRUE(adapter.start()) << adapter.error();
        script(adapter);
    };
    HostileRun run;
    auto started = std::chrono::steady_clock::now();
    run.child = runProgramInChild(setup, [pc, robotScript] {
        passWarningAndAddress(formatAddress(pc));
        robotScript();
    });
    run.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    adapter.stop();
    run.requests = adapter.requests();
    run.bytesSent = adapter.bytesSent();
    return run;
}

void expectCleanEnd(const HostileRun& run, const std::string& box) {
    expectNoSanitizerReport(run.child.output, "the program");
    EXPECT_TRUE(run.child.exited) << run.child.output;
    EXPECT_EQ(run.child.exitCode, 0) << run.child.output;
    EXPECT_EQ(countLines(run.child.output, "[message box] "), 1) << run.child.output;
    EXPECT_EQ(countLines(run.child.output, messageBoxLine(box)), 1) << run.child.output;
}

TEST_F(HostileServer, AnAnswerThatNeverEndsIsEndedByCancel) {
    HostileRun run = runAgainst(
        120,
        [](ScriptedHttpServer& adapter) {
            std::vector<std::string> parts = {"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<html>"};
            for (int i = 0; i < 2000; ++i) parts.push_back("<p>more</p>");
            ScriptedAnswer answer = ScriptedAnswer::inParts(parts, 10);
            answer.holdOpen = true;
            answer.holdOpenMaxMs = 30000;
            adapter.setDefaultAnswer(answer);
        },
        [] {
            WindowHandle connecting = need(kConnectingWindowId);
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            reportPeakMemory();
            check(robot::pressButton(connecting, kIdCancel), "Cancel");
        });
    expectCleanEnd(run, "Upgrade Failed: User Abort");
    EXPECT_LT(run.took, std::chrono::seconds(10));
}

TEST_F(HostileServer, ATenMegabyteAnswerIsCutAtTheBuffer) {
    HostileRun run = runAgainst(
        121,
        [](ScriptedHttpServer& adapter) {
            std::string body = page("big") + std::string(10 * 1024 * 1024, 'z');
            adapter.setDefaultAnswer(ScriptedAnswer::text(httpResponse(200, "OK", body)));
        },
        readConfirmationAndCancel);
    expectCleanEnd(run, "Upgrade Failed: User Abort");
    EXPECT_EQ(countLines(run.child.output, "[robot] field1004 length=3 text=big"), 1) << run.child.output;
    long peak = reportedPeakKb(run.child.output);
    std::printf("peak resident memory with a 10 MB answer: %ld KiB; the server got %zu bytes out\n", peak,
                run.bytesSent.empty() ? size_t{0} : run.bytesSent[0]);
    EXPECT_GT(peak, 0);
    EXPECT_LT(peak, kMemoryBoundKb) << run.child.output;
    ASSERT_EQ(run.bytesSent.size(), 1u);
    EXPECT_LT(run.bytesSent[0], 10u * 1024 * 1024) << "the program stops reading at its buffer's end";
}

TEST_F(HostileServer, HeadersWithoutCarriageReturns) {
    HostileRun run = runAgainst(
        122,
        [](ScriptedHttpServer& adapter) {
            adapter.setResponder([](const RecordedRequest& request) {
                if (request.bytes.find("Authorization: Digest") == std::string::npos) {
                    return ScriptedAnswer::text(
                        "HTTP/1.1 401 Unauthorized\nWWW-Authenticate: Digest realm=\"orb\", nonce=\"lf\"\n\n");
                }
                return ScriptedAnswer::text("HTTP/1.1 200 OK\nContent-Type: text/html\n\n" + page("lf-only"));
            });
        },
        [] {
            WindowHandle credentials = need(kCredentialsDialogId);
            check(robot::typeText(credentials, kPasswordFieldId, "secret"), "password");
            check(robot::pressButton(credentials, kIdOk), "OK");
            readConfirmationAndCancel();
        });
    expectCleanEnd(run, "Upgrade Failed: User Abort");
    EXPECT_EQ(countLines(run.child.output, "[robot] field1004 length=7 text=lf-only"), 1) << run.child.output;
    ASSERT_EQ(run.requests.size(), 2u);
    EXPECT_NE(run.requests[1].bytes.find("nonce=\"lf\""), std::string::npos);
}

TEST_F(HostileServer, NulBytesInsideTheAnswer) {
    HostileRun run = runAgainst(
        123,
        [](ScriptedHttpServer& adapter) {
            std::string body = page(std::string("be\0fore", 7));
            adapter.setDefaultAnswer(ScriptedAnswer::text(httpResponse(200, "OK", body)));
        },
        readConfirmationAndCancel);
    expectCleanEnd(run, "Upgrade Failed: User Abort");
    // The answer is text up to its first NUL: the product name's value is cut
    // there, and the labels after it are not seen.
    EXPECT_EQ(countLines(run.child.output, "[robot] field1006 length=2 text=be"), 1) << run.child.output;
    EXPECT_EQ(countLines(run.child.output, "[robot] field1004 length=0 text="), 1) << run.child.output;
}

TEST_F(HostileServer, ANulRightAfterTheVersion) {
    HostileRun run = runAgainst(
        124,
        [](ScriptedHttpServer& adapter) {
            adapter.setDefaultAnswer(ScriptedAnswer::text(std::string("HTTP/1.1\0 200 OK\r\n\r\n", 20) + page("x")));
        },
        readConfirmationAndCancel);
    // The text is "HTTP/1.1" alone: nothing after the version, but bytes came,
    // so the run goes on with nothing scraped.
    expectCleanEnd(run, "Upgrade Failed: User Abort");
    EXPECT_EQ(countLines(run.child.output, " length=0 text="), 5) << run.child.output;
}

TEST_F(HostileServer, A401LoopWithNewNoncesKeepsAskingUntilCancel) {
    auto nonces = std::make_shared<int>(0);
    HostileRun run = runAgainst(
        125,
        [nonces](ScriptedHttpServer& adapter) {
            adapter.setResponder([nonces](const RecordedRequest&) {
                return ScriptedAnswer::text(digestChallengeResponse("realm=\"orb\", nonce=\"n" +
                                                                    std::to_string(++*nonces) + "\", qop=\"auth\""));
            });
        },
        [] {
            std::vector<WindowHandle> seen;
            for (int i = 0; i < 6; ++i) {
                WindowHandle dialog = robot::waitForNewDialog(kCredentialsDialogId, seen);
                check(dialog != nullptr, "credentials dialog " + std::to_string(i));
                seen.push_back(dialog);
                report("credentials " + std::to_string(i));
                if (i == 5) {
                    reportPeakMemory();
                    check(robot::pressButton(dialog, kIdCancel), "Cancel");
                    return;
                }
                check(robot::typeText(dialog, kPasswordFieldId, "wrong" + std::to_string(i)), "password");
                check(robot::pressButton(dialog, kIdOk), "OK");
            }
        });
    expectCleanEnd(run, "Upgrade Failed: User Abort");
    EXPECT_EQ(countLines(run.child.output, "[robot] credentials "), 6) << run.child.output;
    // The first request, then per dialog answered one attempt and one silent
    // retry after the new nonce: 1 + 5 * 2.
    EXPECT_EQ(run.requests.size(), 11u);
}

TEST_F(HostileServer, AChallengeWithTenThousandCharacterValues) {
    const std::string huge(10000, 'v');
    HostileRun run = runAgainst(
        126,
        [huge](ScriptedHttpServer& adapter) {
            adapter.setResponder([huge](const RecordedRequest& request) {
                if (request.bytes.find("Authorization: Digest") == std::string::npos) {
                    return ScriptedAnswer::text(digestChallengeResponse("realm=\"" + huge + "\", nonce=\"" + huge +
                                                                        "\", qop=\"" + huge + "\", algorithm=\"" +
                                                                        huge + "\", opaque=\"" + huge + "\""));
                }
                return ScriptedAnswer::text(httpResponse(200, "OK", page("ok")));
            });
        },
        [] {
            WindowHandle credentials = need(kCredentialsDialogId);
            check(robot::typeText(credentials, kUserFieldId, std::string(200, 'u')), "user");
            check(robot::typeText(credentials, kPasswordFieldId, std::string(200, 'p')), "password");
            check(robot::pressButton(credentials, kIdOk), "OK");
            readConfirmationAndCancel();
        });
    expectCleanEnd(run, "Upgrade Failed: User Abort");
    ASSERT_EQ(run.requests.size(), 2u) << run.child.output;
    const std::string& request = run.requests[1].bytes;
    size_t start = request.find("Authorization: Digest ");
    ASSERT_NE(start, std::string::npos) << request;
    size_t end = request.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    EXPECT_LE(end + 2 - start, 697u) << "the longest line of the run";
    EXPECT_NE(request.find("nonce=\"" + std::string(127, 'v') + "\""), std::string::npos) << request;
    EXPECT_NE(request.find(",qop=" + std::string(15, 'v') + ",nc=000000001"), std::string::npos) << request;
    EXPECT_LT(reportedPeakKb(run.child.output), kMemoryBoundKb);
}

TEST_F(HostileServer, AStatusPageWithTenThousandCharacterValues) {
    HostileRun run = runAgainst(
        127,
        [](ScriptedHttpServer& adapter) {
            adapter.setDefaultAnswer(ScriptedAnswer::text(httpResponse(200, "OK", page(std::string(10000, 'w')))));
        },
        readConfirmationAndCancel);
    expectCleanEnd(run, "Upgrade Failed: User Abort");
    for (int id : {kSerialFieldId, kMacFieldId, kSoftwareFieldId, kHardwareFieldId, kProductFieldId}) {
        EXPECT_EQ(countLines(run.child.output, "[robot] field" + std::to_string(id) + " length=127 text=www"), 1)
            << run.child.output;
    }
    EXPECT_LT(reportedPeakKb(run.child.output), kMemoryBoundKb);
}

}  // namespace
}  // namespace orb::test
