// A real TFTP client, Debian's curl, fetches the image from the listener.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/clock.h"
#include "platform/process.h"
#include "upgrade/dialog_ids.h"
#include "upgrade/serve_image.h"
#include "tests/support/child_process.h"
#include "tests/support/dialog_robot.h"
#include "tests/support/loopback.h"
#include "tests/support/observer_lines.h"
#include "tests/tftp/tftp_peer.h"
#include "tests/tftp/tftp_test_run.h"

namespace orb {
namespace {

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void fetchWithCurl(unsigned host, const std::string& extraOptions) {
    if (std::system("curl --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "curl is not installed";
    int held = test::holdUdpPort(test::loopbackAddress(3, 99), 69);
    if (held < 0) GTEST_SKIP() << "binding UDP port 69 needs root";
    ::close(held);

    const uint32_t listener = test::loopbackAddress(3, host);
    const auto image = test::makeTestImage(728196);
    const std::string file = testing::TempDir() + "orb-tftp-curl-" + std::to_string(::getpid()) + ".bin";
    std::remove(file.c_str());
    const std::string command = "curl -s --max-time 30 " + extraOptions + " tftp://" + test::formatAddress(listener) +
                                ":69/" + test::kTestFileName + " -o " + file;

    test::ChildResult result = test::runInChild(
        [&] {
            // curl sends from loopback's preferred source address, 127.0.0.1.
            test::prepareChildRun(image, "127.0.0.1", test::loopbackAddress(0, 1));
            test::echoRunObserver();
            setClockSource(test::acceleratedClock<50>);  // the restart wait takes 1 s
            startTftpListener(listener);
            robot::waitForDialog(kWaitingWindowId, 10000);
            int status = std::system(command.c_str());
            std::fprintf(stderr, "[curl] exit %d\n", WEXITSTATUS(status));
            waitUntilProcessEnds();  // until the test ends the child
        },
        60000);
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_NE(result.output.find("[curl] exit 0\n"), std::string::npos) << command << "\n" << result.output;
    EXPECT_NE(result.output.find(test::uploadCompleteLine(static_cast<uint32_t>(image.size()))), std::string::npos)
        << result.output;
    std::vector<uint8_t> fetched = readFile(file);
    EXPECT_EQ(fetched.size(), image.size());
    EXPECT_TRUE(fetched == image) << "the fetched file differs from the image";
    std::remove(file.c_str());
}

TEST(CurlPeer, FetchesTheImageByteForByte) { fetchWithCurl(30, ""); }

TEST(CurlPeer, FetchesTheImageWithoutAskingForOptions) { fetchWithCurl(31, "--tftp-no-options"); }

}  // namespace
}  // namespace orb
