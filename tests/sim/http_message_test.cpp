// Reading requests and writing responses.
#include <gtest/gtest.h>

#include "sim/http_message.h"

namespace orb::sim {
namespace {

TEST(SimHttpRequestParsing, TheUtilitysRequestWithItsAuthorizationLine) {
    std::string text =
        "GET /admin/advanced HTTP/1.1\r\nHost: 192.168.2.110\r\n"
        "Authorization: Digest username=\"admin\",realm=\"ORB\",nonce=\"n\",uri=\"\",algorithm=\"\",response=\"r\"\r\n"
        "\r\n";
    HttpRequest request;
    std::string error;
    ASSERT_EQ(parseHttpRequest(text, &request, &error), ParseStatus::Complete) << error;
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, "/admin/advanced");
    EXPECT_EQ(request.version, "HTTP/1.1");
    ASSERT_EQ(request.headers.size(), 2u);
    ASSERT_NE(request.header("host"), nullptr);
    EXPECT_EQ(*request.header("HOST"), "192.168.2.110");
    ASSERT_NE(request.header("authorization"), nullptr);
    EXPECT_EQ(request.header("authorization")->rfind("Digest username=", 0), 0u);
    EXPECT_EQ(request.header("Cookie"), nullptr);
}

TEST(SimHttpRequestParsing, IncompleteUntilTheEmptyLineArrives) {
    HttpRequest request;
    std::string error;
    std::string text = "GET /admin/advanced HTTP/1.1\r\nHost: x\r\n";
    EXPECT_EQ(parseHttpRequest(text, &request, &error), ParseStatus::Incomplete);
    EXPECT_EQ(parseHttpRequest(text + "\r", &request, &error), ParseStatus::Incomplete);
    EXPECT_EQ(parseHttpRequest(text + "\r\n", &request, &error), ParseStatus::Complete);
}

TEST(SimHttpRequestParsing, BareLineFeedsAndFoldedHeaders) {
    HttpRequest request;
    std::string error;
    ASSERT_EQ(parseHttpRequest("GET / HTTP/1.0\nX-A: one\n  two\n\n", &request, &error), ParseStatus::Complete);
    EXPECT_EQ(*request.header("x-a"), "one two");
}

TEST(SimHttpRequestParsing, PathAndQueryOfTheTrigger) {
    HttpRequest request;
    std::string error;
    ASSERT_EQ(parseHttpRequest("GET /admin/upgrade?tftp://10.1.0.5:69/orb1a2b.bin HTTP/1.1\r\n\r\n", &request, &error),
              ParseStatus::Complete);
    EXPECT_EQ(request.path(), "/admin/upgrade");
    EXPECT_EQ(request.query(), "tftp://10.1.0.5:69/orb1a2b.bin");
}

TEST(SimHttpRequestParsing, MalformedRequestsAreBad) {
    HttpRequest request;
    std::string error;
    EXPECT_EQ(parseHttpRequest("GET /\r\n\r\n", &request, &error), ParseStatus::Bad);
    EXPECT_EQ(parseHttpRequest("GET / SPDY/3\r\n\r\n", &request, &error), ParseStatus::Bad);
    EXPECT_EQ(parseHttpRequest("GET / HTTP/1.1\r\nno colon here\r\n\r\n", &request, &error), ParseStatus::Bad);
    EXPECT_EQ(parseHttpRequest(std::string(kMaxRequestHead + 10, 'a'), &request, &error), ParseStatus::Bad);
    EXPECT_FALSE(error.empty());
}

TEST(SimHttpResponse, StatusLineHeadersLengthAndClose) {
    std::string response = buildHttpResponse(404, {{"Content-Type", "text/html"}}, "gone");
    EXPECT_EQ(response,
              "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: 4\r\nConnection: close\r\n\r\n"
              "gone");
    EXPECT_EQ(buildHttpResponse(401, {}, "").rfind("HTTP/1.1 401 Unauthorized\r\n", 0), 0u);
}

}  // namespace
}  // namespace orb::sim
