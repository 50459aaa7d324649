// Digest authentication as the runner drives it: the credentials dialog, the
// silent retry after a new nonce, the aborts, and the trigger request.
#include <gtest/gtest.h>

#include "upgrade/dialog_ids.h"
#include "tests/support/dialog_robot.h"
#include "tests/support/loopback.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/status_pages.h"
#include "tests/support/whole_run.h"

namespace orb::test {
namespace {

class DigestFlow : public ProgramRunTest {};
class TriggerRequest : public ProgramRunTest {};

const std::string kPage = statusTable({{"Software Version", "1.0.2"}});

std::string challenge(const std::string& nonce) {
    return digestChallengeResponse("realm=\"orb\", nonce=\"" + nonce + "\", qop=\"auth\", algorithm=\"MD5\"");
}

bool hasAuthorization(const RecordedRequest& request) {
    return request.bytes.find("Authorization: Digest ") != std::string::npos;
}

// Answers each credentials dialog in turn with the given passwords (Cancel
// after the last), recording what the dialog showed, until the confirmation
// dialog opens, which it cancels.
void answerCredentials(const std::vector<std::string>& passwords) {
    std::vector<WindowHandle> seen;
    for (size_t i = 0;; ++i) {
        WindowHandle dialog = nullptr;
        check(robot::waitUntil([&] {
                  dialog = nullptr;
                  for (WindowHandle w : robot::openWindows()) {
                      int id = robot::templateOf(w);
                      bool fresh = std::find(seen.begin(), seen.end(), w) == seen.end();
                      if (robot::isVisible(w) && fresh && (id == kCredentialsDialogId || id == kConfirmDialogId))
                          dialog = w;
                  }
                  return dialog != nullptr;
              }),
              "credentials or confirmation dialog");
        seen.push_back(dialog);
        if (robot::templateOf(dialog) == kConfirmDialogId) {
            report("confirmation");
            check(robot::pressButton(dialog, kIdCancel), "cancel the confirmation");
            return;
        }
        report("credentials user=" + robot::controlText(dialog, kUserFieldId) +
               " password=" + robot::controlText(dialog, kPasswordFieldId) +
               " focus=" + std::to_string(robot::focusedControl(dialog)));
        if (i == passwords.size()) {
            check(robot::pressButton(dialog, kIdCancel), "cancel the credentials");
            return;
        }
        check(robot::typeText(dialog, kPasswordFieldId, passwords[i]), "type the password");
        check(robot::pressButton(dialog, kIdOk), "OK");
    }
}

struct FlowResult {
    ChildResult child;
    std::vector<RecordedRequest> requests;
};

FlowResult runFlow(unsigned host, ScriptedHttpServer::Responder responder, std::vector<std::string> passwords) {
    const uint32_t pc = loopbackAddress(2, host);
    ScriptedHttpServer adapter(pc);
    EXPECT_TRUE(adapter.start()) << adapter.error();
    adapter.setResponder(std::move(responder));
    ProgramSetup setup;
    setup.pcAddresses = {pc};
    FlowResult flow;
    flow.child = runProgramInChild(setup, [pc, passwords] {
        passWarningAndAddress(formatAddress(pc));
        answerCredentials(passwords);
    });
    adapter.waitForIdle();
    flow.requests = adapter.requests();
    return flow;
}

TEST_F(DigestFlow, WithoutAPasswordOneAttemptAndNoDialog) {
    FlowResult flow =
        runFlow(20, [](const RecordedRequest&) { return ScriptedAnswer::text(httpResponse(200, "OK", kPage)); }, {});
    EXPECT_EQ(countLines(flow.child.output, "[robot] confirmation"), 1) << flow.child.output;
    EXPECT_EQ(countLines(flow.child.output, "[robot] credentials"), 0);
    ASSERT_EQ(flow.requests.size(), 1u);
    EXPECT_FALSE(hasAuthorization(flow.requests[0]));
}

TEST_F(DigestFlow, AChallengeBringsTheDialogAndTheRetryCarriesNcOne) {
    FlowResult flow = runFlow(21,
                              [](const RecordedRequest& request) {
                                  return ScriptedAnswer::text(hasAuthorization(request) ? httpResponse(200, "OK", kPage)
                                                                                        : challenge("n1"));
                              },
                              {"secret"});
    EXPECT_EQ(countLines(flow.child.output, "[robot] credentials user=admin password= focus=1005"), 1)
        << flow.child.output;
    EXPECT_EQ(countLines(flow.child.output, "[robot] confirmation"), 1);
    ASSERT_EQ(flow.requests.size(), 2u);
    EXPECT_FALSE(hasAuthorization(flow.requests[0]));
    const std::string& second = flow.requests[1].bytes;
    EXPECT_EQ(second.rfind("GET /admin/advanced HTTP/1.1\r\nHost: 192.168.2.110\r\n"
                           "Authorization: Digest username=\"admin\",realm=\"orb\",nonce=\"n1\",uri=\"\","
                           "algorithm=\"MD5\",response=\"",
                           0),
              0u)
        << second;
    EXPECT_NE(second.find("\",qop=auth,nc=000000001,cnonce=\"1a2b\"\r\n\r\n"), std::string::npos) << second;
}

TEST_F(DigestFlow, AnEmptyPasswordSendsNoCredentialsAndTheDialogComesBack) {
    FlowResult flow = runFlow(22, [](const RecordedRequest&) { return ScriptedAnswer::text(challenge("n1")); }, {""});
    EXPECT_EQ(countLines(flow.child.output, "[robot] credentials"), 2) << flow.child.output;
    EXPECT_EQ(countLines(flow.child.output, messageBoxLine("Upgrade Failed: User Abort")), 1) << flow.child.output;
    EXPECT_EQ(flow.child.exitCode, 0);
    ASSERT_EQ(flow.requests.size(), 2u) << "no silent retry while the password is empty";
    for (const RecordedRequest& request : flow.requests) EXPECT_FALSE(hasAuthorization(request));
}

TEST_F(DigestFlow, AWrongPasswordWithAFixedNonceBringsTheDialogAfterEveryAttempt) {
    FlowResult flow = runFlow(23, [](const RecordedRequest&) { return ScriptedAnswer::text(challenge("fixed")); },
                              {"wrong1", "wrong2"});
    EXPECT_EQ(countLines(flow.child.output, "[robot] credentials user=admin password= "), 3) << flow.child.output;
    ASSERT_EQ(flow.requests.size(), 3u);
    EXPECT_NE(flow.requests[1].bytes.find("nc=000000001"), std::string::npos);
    EXPECT_NE(flow.requests[2].bytes.find("nc=000000002"), std::string::npos) << "the same nonce counts on";
}

TEST_F(DigestFlow, ANewNonceWithEveryChallengeGivesOneSilentRetryThenTheDialog) {
    auto nonces = std::make_shared<int>(0);
    FlowResult flow = runFlow(24,
                              [nonces](const RecordedRequest&) {
                                  return ScriptedAnswer::text(challenge("nonce" + std::to_string(++*nonces)));
                              },
                              {"secret"});
    EXPECT_EQ(countLines(flow.child.output, "[robot] credentials"), 2) << flow.child.output;
    ASSERT_EQ(flow.requests.size(), 3u);
    EXPECT_FALSE(hasAuthorization(flow.requests[0]));
    EXPECT_NE(flow.requests[1].bytes.find("nonce=\"nonce1\""), std::string::npos);
    EXPECT_NE(flow.requests[2].bytes.find("nonce=\"nonce2\""), std::string::npos) << "the silent retry";
    EXPECT_NE(flow.requests[2].bytes.find("nc=000000001"), std::string::npos);
}

TEST_F(DigestFlow, CancelInTheCredentialsDialogAbortsTheRun) {
    FlowResult flow = runFlow(25, [](const RecordedRequest&) { return ScriptedAnswer::text(challenge("n1")); }, {});
    EXPECT_EQ(flow.child.exitCode, 0);
    EXPECT_EQ(countLines(flow.child.output, messageBoxLine("Upgrade Failed: User Abort")), 1) << flow.child.output;
    EXPECT_EQ(flow.requests.size(), 1u);
}

TEST_F(DigestFlow, CancelInTheConnectingWindowEndsTheRunWhileTheWorkerIsBlocked) {
    constexpr uint32_t pc = loopbackAddress(2, 26);
    ScriptedHttpServer adapter(pc);
    ASSERT_TRUE(adapter.start()) << adapter.error();
    ScriptedAnswer never = ScriptedAnswer::held("");
    never.holdOpenMaxMs = 20000;
    adapter.setDefaultAnswer(never);
    ProgramSetup setup;
    setup.pcAddresses = {pc};
    ChildResult result = runProgramInChild(setup, [] {
        passWarningAndAddress(formatAddress(pc));
        WindowHandle connecting = need(kConnectingWindowId);
        check(robot::pressButton(connecting, kIdCancel), "Cancel");
    });
    EXPECT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(countLines(result.output, messageBoxLine("Upgrade Failed: User Abort")), 1) << result.output;
    adapter.stop();
}

TEST_F(TriggerRequest, GoesOutWithTheHeldCredentialsAndTheExactPath) {
    constexpr uint32_t pc = loopbackAddress(2, 27);
    ScriptedHttpServer adapter(pc);
    ASSERT_TRUE(adapter.start()) << adapter.error();
    adapter.setResponder([](const RecordedRequest& request) {
        return ScriptedAnswer::text(hasAuthorization(request) ? httpResponse(200, "OK", kPage) : challenge("n1"));
    });
    ProgramSetup setup;
    setup.pcAddresses = {pc};
    setup.randomStep = 1;  // the file name is drawn first, then the client nonce
    ChildResult result = runProgramInChild(setup, [] {
        passWarningAndAddress(formatAddress(pc));
        WindowHandle credentials = need(kCredentialsDialogId);
        check(robot::typeText(credentials, kPasswordFieldId, "secret"), "password");
        check(robot::pressButton(credentials, kIdOk), "OK");
        check(robot::pressButton(need(kConfirmDialogId), kIdOk), "Upgrade");
        WindowHandle waiting = need(kWaitingWindowId);
        report("waiting=" + robot::title(waiting));
        // Leave the waiting window once the trigger has gone out.
        robot::waitUntil([] { return robot::waitForDialog(kConnectingWindowId, 1) == nullptr; }, 5000);
        check(robot::pressButton(waiting, kIdCancel), "Cancel");
    });
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(countLines(result.output, "[robot] waiting=Waiting For Firmware Upload Request From ORB"), 1)
        << result.output;
    EXPECT_EQ(countLines(result.output, messageBoxLine("Upgrade Failed: User Abort")), 1) << result.output;
    auto requests = adapter.requests();
    ASSERT_EQ(requests.size(), 3u) << result.output;
    EXPECT_EQ(requests[2].bytes.rfind("GET /admin/upgrade?tftp://127.0.2.27:69/orb1a2b.bin HTTP/1.1\r\n"
                                      "Host: 192.168.2.110\r\nAuthorization: Digest username=\"admin\"",
                                      0),
              0u)
        << requests[2].bytes;
    EXPECT_NE(requests[1].bytes.find(",nc=000000001,cnonce=\"1a2c\"\r\n"), std::string::npos) << requests[1].bytes;
    EXPECT_NE(requests[2].bytes.find("nc=000000002"), std::string::npos) << "the held nonce counts on";
}

}  // namespace
}  // namespace orb::test
