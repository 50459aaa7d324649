// The shared scripted HTTP server itself: queue, responder, default answer,
// peer recording, close without answer, and a prompt stop while it holds a
// connection open.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/socket_address.h"
#include "tests/support/loopback.h"
#include "tests/support/scripted_http_server.h"

namespace {

using orb::test::loopbackAddress;
using orb::test::ScriptedAnswer;
using orb::test::ScriptedHttpServer;

// A plain client: connect from `from`, send `request`, read until close.
std::string exchange(uint32_t from, uint32_t to, uint16_t port, const std::string& request) {
    int client = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address;
    orb::fillSockaddr(from, 0, &address);
    if (::bind(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(client);
        return "<no bind>";
    }
    orb::fillSockaddr(to, port, &address);
    if (::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(client);
        return "<no connection>";
    }
    ::send(client, request.data(), request.size(), MSG_NOSIGNAL);
    std::string answer;
    char chunk[1024];
    for (;;) {
        ssize_t got = ::recv(client, chunk, sizeof chunk, 0);
        if (got <= 0) break;
        answer.append(chunk, static_cast<size_t>(got));
    }
    ::close(client);
    return answer;
}

TEST(ScriptedHttpServer, QueueThenResponderThenRecords) {
    const uint32_t address = loopbackAddress(1, 60);
    const uint32_t client = loopbackAddress(1, 61);
    ScriptedHttpServer server(address, 8080);
    ASSERT_TRUE(server.start()) << server.error();
    server.enqueue(ScriptedAnswer::text("first"));
    server.setResponder([](const orb::test::RecordedRequest& request) {
        return ScriptedAnswer::text("echo " + std::to_string(request.connectionIndex) + " " +
                                    request.bytes.substr(0, request.bytes.find(' ')));
    });
    EXPECT_EQ(exchange(client, address, 8080, "GET / HTTP/1.1\r\n\r\n"), "first");
    EXPECT_EQ(exchange(client, address, 8080, "POST / HTTP/1.1\r\n\r\n"), "echo 1 POST");
    ASSERT_TRUE(server.waitForRequests(2));
    ASSERT_TRUE(server.waitForIdle());
    const auto requests = server.requests();
    EXPECT_EQ(requests[0].bytes, "GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(requests[0].peerAddress, client);
    EXPECT_NE(requests[0].peerPort, 0);
    EXPECT_FALSE(requests[0].peerClosedBeforeEnd);
    EXPECT_EQ(server.connectionCount(), 2u);
    EXPECT_EQ(server.bytesSent()[0], 5u);
}

TEST(ScriptedHttpServer, DefaultAnswerAndCloseOnly) {
    const uint32_t address = loopbackAddress(1, 62);
    ScriptedHttpServer server(address);  // port 80
    ASSERT_TRUE(server.start()) << server.error();
    server.enqueue(ScriptedAnswer::closeOnly());
    EXPECT_EQ(exchange(loopbackAddress(1, 63), address, 80, "GET / HTTP/1.1\r\n\r\n"), "");
    EXPECT_EQ(exchange(loopbackAddress(1, 63), address, 80, "GET / HTTP/1.1\r\n\r\n").substr(0, 15), "HTTP/1.1 200 OK");
}

TEST(ScriptedHttpServer, StopEndsAHeldConnectionPromptly) {
    const uint32_t address = loopbackAddress(1, 64);
    auto server = std::make_unique<ScriptedHttpServer>(address);
    ASSERT_TRUE(server->start()) << server->error();
    server->enqueue(ScriptedAnswer::held("partial"));
    int client = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to;
    orb::fillSockaddr(address, 80, &to);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    ::send(client, "GET / HTTP/1.1\r\n\r\n", 18, MSG_NOSIGNAL);
    ASSERT_TRUE(server->waitForRequests(1));
    EXPECT_FALSE(server->waitForIdle(200));  // held
    const auto started = std::chrono::steady_clock::now();
    server->stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    char chunk[64];
    std::string answer;
    for (;;) {
        ssize_t got = ::recv(client, chunk, sizeof chunk, 0);
        if (got <= 0) break;
        answer.append(chunk, static_cast<size_t>(got));
    }
    EXPECT_EQ(answer, "partial");
    ::close(client);
}

TEST(ScriptedHttpServer, AnAddressInUseIsReported) {
    const uint32_t address = loopbackAddress(1, 65);
    ScriptedHttpServer first(address, 8081);
    ASSERT_TRUE(first.start()) << first.error();
    ScriptedHttpServer second(address, 8081);
    EXPECT_FALSE(second.start());
    EXPECT_FALSE(second.error().empty());
}

}  // namespace
