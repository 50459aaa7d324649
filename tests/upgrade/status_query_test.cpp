// The status query, the confirmation dialog and the runner's results.
#include <gtest/gtest.h>

#include "upgrade/device_query.h"
#include "upgrade/dialog_ids.h"
#include "upgrade/run_state.h"
#include "tests/support/dialog_robot.h"
#include "tests/support/loopback.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/status_pages.h"
#include "tests/support/whole_run.h"

namespace orb::test {
namespace {

class StatusQuery : public ProgramRunTest {};
class DeviceQueryRunner : public ProgramRunTest {};

using robot::controlText;

std::string statusPage() {
    return test::statusPage(statusFields("<b>ORB-4100</b>", "00:0E:08:12:34:56", "<font color=blue><b>1.0.2</b></font>",
                                         "3.1.4", "FM500A123456"));
}

// Reads the confirmation dialog into the output, then cancels it.
void readConfirmationAndCancel() {
    WindowHandle confirm = need(kConfirmDialogId);
    report("title=" + robot::title(confirm));
    for (int id : {kSerialFieldId, kMacFieldId, kSoftwareFieldId, kHardwareFieldId, kProductFieldId})
        report("field" + std::to_string(id) + "=" + controlText(confirm, id));
    report("focus=" + std::to_string(robot::focusedControl(confirm)));
    check(robot::pressButton(confirm, kIdCancel), "Cancel");
}

// The adapter answers from its own thread while the run lasts.
ChildResult runAgainst(ScriptedHttpServer& /*adapter*/, uint32_t pc, const std::string& typed) {
    ProgramSetup setup;
    setup.pcAddresses = {pc};
    return runProgramInChild(setup, [typed] {
        passWarningAndAddress(typed);
        readConfirmationAndCancel();
    });
}

TEST_F(StatusQuery, TheConfirmationShowsTheScrapedValuesAndTheImageVersion) {
    const uint32_t pc = loopbackAddress(2, 10);
    ScriptedHttpServer adapter(pc);
    ASSERT_TRUE(adapter.start()) << adapter.error();
    adapter.setDefaultAnswer(ScriptedAnswer::text(httpResponse(200, "OK", statusPage())));
    ChildResult result = runAgainst(adapter, pc, formatAddress(pc));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(countLines(result.output, "[robot] title=Confirm Upgrade to Ver. 2.0.10(a)"), 1) << result.output;
    EXPECT_EQ(countLines(result.output, "[robot] field1002=FM500A123456"), 1) << result.output;
    EXPECT_EQ(countLines(result.output, "[robot] field1003=00:0E:08:12:34:56"), 1);
    EXPECT_EQ(countLines(result.output, "[robot] field1004=1.0.2"), 1);
    EXPECT_EQ(countLines(result.output, "[robot] field1005=3.1.4"), 1);
    EXPECT_EQ(countLines(result.output, "[robot] field1006=ORB-4100"), 1);
    EXPECT_EQ(countLines(result.output, "[robot] focus=1"), 1) << "the focus is on Upgrade";
    EXPECT_EQ(countLines(result.output, messageBoxLine("Upgrade Failed: User Abort")), 1) << result.output;
    EXPECT_EQ(countLines(result.output, "[program returned 0]"), 1);
}

TEST_F(StatusQuery, APageWithoutLabelsStillOpensTheConfirmationWithEmptyFields) {
    const uint32_t pc = loopbackAddress(2, 11);
    ScriptedHttpServer adapter(pc);
    ASSERT_TRUE(adapter.start()) << adapter.error();
    adapter.setDefaultAnswer(ScriptedAnswer::text(httpResponse(404, "Not Found", "<html>no such page</html>")));
    ChildResult result = runAgainst(adapter, pc, formatAddress(pc));
    EXPECT_EQ(countLines(result.output, "[robot] title=Confirm Upgrade to Ver. 2.0.10(a)"), 1) << result.output;
    for (const char* field : {"field1002=", "field1003=", "field1004=", "field1005=", "field1006="}) {
        EXPECT_NE(result.output.find(std::string("[robot] ") + field + "\n"), std::string::npos) << field;
    }
}

TEST_F(StatusQuery, AnAdapterThatClosesWithoutAnsweringEndsTheRun) {
    const uint32_t pc = loopbackAddress(2, 12);
    ScriptedHttpServer adapter(pc);
    ASSERT_TRUE(adapter.start()) << adapter.error();
    adapter.setDefaultAnswer(ScriptedAnswer::closeOnly());
    ChildResult result = runAgainst(adapter, pc, formatAddress(pc));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(countLines(result.output, messageBoxLine("Upgrade Failed: No Response From ORB")), 1) << result.output;
    EXPECT_EQ(countLines(result.output, "[program returned 0]"), 1);
    EXPECT_EQ(countLines(result.output, "title=Confirm"), 0);
}

TEST_F(StatusQuery, NothingListeningEndsTheRunWithCantConnect) {
    const uint32_t pc = loopbackAddress(2, 13);
    ProgramSetup setup;
    setup.pcAddresses = {pc};
    ChildResult result = runProgramInChild(setup, [] { passWarningAndAddress("127.0.2.14"); });
    EXPECT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(countLines(result.output, messageBoxLine("Upgrade Failed: Can't connect to ORB")), 1) << result.output;
    EXPECT_EQ(countLines(result.output, "[program returned"), 0) << "the process ends from the worker thread";
}

TEST_F(DeviceQueryRunner, AnAnswerOf259BytesIsReturnedAs259) {
    constexpr uint32_t pc = loopbackAddress(2, 15);
    ScriptedHttpServer adapter(pc);
    ASSERT_TRUE(adapter.start()) << adapter.error();
    std::string answer = httpResponse(200, "OK", "");
    answer += std::string(259 - answer.size(), 'x');
    ASSERT_EQ(answer.size(), 259u);
    adapter.setDefaultAnswer(ScriptedAnswer::text(answer));
    ChildResult result = runInChild([] {
        robot::setAutoAnswer(true);
        DeviceQuery query{nullptr, {.pc = {pc, 23456}, .device = {pc, 80}}, "/admin/advanced", runState.responseBuffer};
        std::printf("result=%d\n", runDeviceQuery(query));
    });
    EXPECT_EQ(countLines(result.output, "result=259"), 1) << result.output;
}

}  // namespace
}  // namespace orb::test
