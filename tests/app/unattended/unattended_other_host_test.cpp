// Whole unattended runs on 127.0.194.x while another host tries to take the
// image: orb-rrq-thief asks the listener for every name the run could have
// drawn, on ports 69-72, before the adapter fetches, and a second orb-sim on
// the thief's address plays a status page that reports the embedded version
// (so that a run that served the thief and asked it afterwards would say
// success). The image must reach the adapter alone, and `success` must mean
// that it did. A host that asks as the adapter (its address, another port)
// before the adapter does gets the image, but the run names it and fails on
// the version the adapter reports.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/embedded_image.h"
#include "app/unattended/unattended_events.h"
#include "sim/sha256.h"
#include "tests/support/loopback.h"
#include "tests/support/sim_process.h"
#include "tests/support/unattended_run.h"

namespace orb::test {
namespace {

using unattended::Event;

std::string address(unsigned host) { return formatAddress(loopbackAddress(194, host)); }

bool startSim(SimProcess& sim, unsigned host, std::vector<std::string> options) {
    options.insert(options.end(),
                   {"--address=" + address(host), "--http-port=80", "--quiet-blocks", "--restart-ms=100"});
    return sim.start(options);
}

class UnattendedOtherHost : public testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "orb-sim serves on port 80 and the listener binds port 69: needs root";
    }

    // Runs one adapter's upgrade with the thief on `thiefHost` started as soon
    // as the run waits for the read request; the thief is stopped afterwards
    // and its summary read.
    UnattendedResult runWithThief(unsigned adapterHost, unsigned thiefHost, unsigned pcHost,
                                  std::vector<std::string> extra, std::vector<std::string> thiefExtra = {},
                                  const std::function<void(const std::string&)>& watch = nullptr) {
        std::vector<std::string> args = {"--unattended", "--accept-warning",  "--json", "--pc-address", address(pcHost),
                                         "--address",    address(adapterHost)};
        args.insert(args.end(), extra.begin(), extra.end());
        UnattendedResult run =
            runUnattendedInChild(args, loopbackAddress(194, pcHost), [&](const std::string& output, pid_t) {
                if (watch) watch(output);
                if (thiefStarted_ || eventsNamed(output, "waiting").empty()) return;
                thiefStarted_ = true;
                std::vector<std::string> thiefArgs = {"--from",        address(thiefHost), "--to",
                                                      address(pcHost), "--ports",          "69-72"};
                thiefArgs.insert(thiefArgs.end(), thiefExtra.begin(), thiefExtra.end());
                thiefOk_ = thief_.startProgram(SimProcess::rrqThiefExecutable(), thiefArgs);
            });
        if (thiefOk_) {
            // Its sweep may outlast the run on a loaded machine: the rest goes
            // to a closed port.
            swept_ = thief_.waitFor("swept", 120000);
            thief_.stop();
            summary_ = thief_.waitFor("summary", 1000);
        }
        // A run ended with _exit turns no sanitizer report into an exit status.
        EXPECT_EQ(run.output.find("Sanitizer"), std::string::npos) << run.output;
        return run;
    }

    // The thief sent every name to every port, and nothing came back.
    void expectTheThiefGotNothing() {
        ASSERT_TRUE(thiefOk_) << thief_.diagnostics();
        ASSERT_TRUE(swept_.has_value()) << thief_.diagnostics();
        EXPECT_EQ(swept_->value("requests"), std::to_string(0x8000 * 4));
        ASSERT_TRUE(summary_.has_value()) << thief_.diagnostics();
        EXPECT_EQ(summary_->value("replies"), "0") << thief_.diagnostics();
        EXPECT_EQ(summary_->value("data"), "0");
        EXPECT_EQ(summary_->value("bytes"), "0");
    }

    SimProcess thief_;
    bool thiefStarted_ = false;
    bool thiefOk_ = false;
    std::optional<sim::EventLine> swept_;
    std::optional<sim::EventLine> summary_;
};

std::string embeddedImageSha256() {
    EmbeddedImage image = findEmbeddedImage(nullptr);
    return sim::sha256Hex(std::string(reinterpret_cast<const char*>(image.data), image.size));
}

TEST_F(UnattendedOtherHost, TheAdapterGetsTheImageAndTheOtherHostNothing) {
    SimProcess adapter, fake;
    ASSERT_TRUE(startSim(adapter, 1, {"--fetch-delay-ms=4000"})) << adapter.diagnostics();
    ASSERT_TRUE(startSim(fake, 9, {"--software-version=2.0.10(a)"})) << fake.diagnostics();
    UnattendedResult run = runWithThief(1, 9, 100, {});

    std::vector<Event> results = eventsNamed(run.output, "result");
    ASSERT_EQ(results.size(), 1u) << run.output;
    EXPECT_EQ(results[0].value("result"), "success") << run.output;
    EXPECT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(eventsNamed(run.output, "upload-started").size(), 1u) << run.output;
    EXPECT_EQ(eventsNamed(run.output, "upload-started")[0].value("peer"), address(1));
    expectTheThiefGotNothing();

    adapter.poll(200);
    auto image = adapter.waitFor("image-received", 5000);
    ASSERT_TRUE(image) << adapter.diagnostics();
    EXPECT_EQ(image->value("check"), "ok");
    EXPECT_EQ(image->value("sha256"), embeddedImageSha256());
    // The version came from the adapter: the fake page was never asked.
    fake.poll(200);
    EXPECT_TRUE(fake.eventsNamed("http-request").empty()) << fake.diagnostics();
}

TEST_F(UnattendedOtherHost, AnAdapterThatNeverFetchesIsNoRequestAndTheHintNamesTheOtherHost) {
    SimProcess adapter, fake;
    ASSERT_TRUE(startSim(adapter, 2, {"--fetch-delay-ms=600000"})) << adapter.diagnostics();
    ASSERT_TRUE(startSim(fake, 12, {"--software-version=2.0.10(a)"})) << fake.diagnostics();
    UnattendedResult run = runWithThief(2, 12, 101, {"--request-timeout", "8"});

    std::vector<Event> results = eventsNamed(run.output, "result");
    ASSERT_EQ(results.size(), 1u) << run.output;
    EXPECT_EQ(results[0].value("result"), "no-request") << run.output;
    EXPECT_EQ(results[0].value("uploaded"), "false");
    const std::string named = "(read requests from other hosts were ignored: " + address(12) + ")";
    EXPECT_NE(results[0].value("text").find(named), std::string::npos) << results[0].value("text");
    bool hintNamesIt = false;
    for (const Event& hint : eventsNamed(run.output, "hint"))
        hintNamesIt = hintNamesIt || hint.value("text").find(named) != std::string::npos;
    EXPECT_TRUE(hintNamesIt) << run.output;
    EXPECT_TRUE(eventsNamed(run.output, "upload-started").empty()) << run.output;
    EXPECT_NE(run.exitCode, 0);
    expectTheThiefGotNothing();
    fake.poll(200);
    EXPECT_TRUE(fake.eventsNamed("http-request").empty()) << fake.diagnostics();
}

// The thief sends from the adapter's own address and wins; while it takes the
// image (slowly), a read request comes from the adapter's address on another
// port, as the adapter's own would. The run says so once, serves the first
// requester to the end, and fails on what the adapter then reports.
TEST_F(UnattendedOtherHost, AHostAskingAsTheAdapterFirstIsNamedAndTheAdapterDecides) {
    SimProcess adapter;
    ASSERT_TRUE(startSim(adapter, 3, {"--fetch-delay-ms=600000"})) << adapter.diagnostics();
    int second = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(second, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(loopbackAddress(194, 3));
    socklen_t length = sizeof local;
    ASSERT_EQ(::bind(second, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    ASSERT_EQ(::getsockname(second, reinterpret_cast<sockaddr*>(&local), &length), 0);
    bool sent = false;
    UnattendedResult run = runWithThief(3, 3, 102, {}, {"--ack-delay-ms", "5"}, [&](const std::string& output) {
        std::vector<Event> started = eventsNamed(output, "upload-started");
        if (sent || started.empty()) return;
        sockaddr_in listener{};
        listener.sin_family = AF_INET;
        listener.sin_addr.s_addr = htonl(loopbackAddress(194, 102));
        listener.sin_port = htons(static_cast<uint16_t>(std::stoi(started[0].value("port"))));
        const char request[] = "\0\1/orb0.bin\0octet";
        sent =
            ::sendto(second, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&listener), sizeof listener) > 0;
    });
    ::close(second);
    ASSERT_TRUE(sent) << run.output;

    std::vector<Event> requests = eventsNamed(run.output, "second-request");
    ASSERT_EQ(requests.size(), 1u) << run.output;
    EXPECT_EQ(requests[0].value("peer"), address(3));
    EXPECT_EQ(requests[0].value("port"), std::to_string(ntohs(local.sin_port)));
    std::vector<Event> results = eventsNamed(run.output, "result");
    ASSERT_EQ(results.size(), 1u) << run.output;
    EXPECT_EQ(results[0].value("result"), "wrong-version") << run.output;
    EXPECT_EQ(results[0].value("uploaded"), "true") << "the host that asked acknowledged every block";
    EXPECT_EQ(results[0].value("error"),
              "Upgrade Failed: ORB reports version 1.0.2 after the upload (two hosts "
              "asked for the image as " +
                  address(3) + ")");
    EXPECT_NE(results[0].value("text").find("two hosts asked for the image as " + address(3)), std::string::npos);
    EXPECT_EQ(run.exitCode, 6) << run.output;
    ASSERT_TRUE(summary_.has_value()) << thief_.diagnostics();
    EXPECT_EQ(summary_->value("bytes"), "728196") << "the first requester was served to the end";
    adapter.poll(200);
    EXPECT_TRUE(adapter.eventsNamed("image-received").empty()) << adapter.diagnostics();
}

}  // namespace
}  // namespace orb::test
