// Classification of the status line and scraping of the status page,
// on texts; the same over loopback sockets is in http_exchange_test.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/random.h"
#include "web/http_exchange.h"
#include "web/response_parsing.h"

namespace {

using orb::ResponseClass;

int fixedRandom() { return 0x1a2; }

class ClassifyTest : public testing::Test {
protected:
    void SetUp() override {
        std::memset(&state, 0, sizeof state);
        orb::setRandomSource(fixedRandom);
    }
    void TearDown() override { orb::setRandomSource(nullptr); }
    ResponseClass classify(const char* text) { return orb::classifyResponse(text, &state); }
    orb::DigestAuthState state;
};

TEST_F(ClassifyTest, Table) {
    struct Case {
        const char* text;
        ResponseClass result;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\n\r\n", ResponseClass::Ok},
        {"HTTP/1.1    200 OK\r\n", ResponseClass::Ok},
        {"HTTP/1.1 \t 200 OK\r\n", ResponseClass::Ok},
        {"HTTP/1.1\t200 OK\r\n", ResponseClass::Ok},
        {"HTTP/1.1 2005 Odd\r\n", ResponseClass::Ok},
        {"HTTP/1.1x200", ResponseClass::Ok},  // the ninth character is skipped whatever it is
        {"HTTP/1.1 200", ResponseClass::Ok},
        {"HTTP/1.0 200 OK\r\n\r\n", ResponseClass::NotHttp11},
        {"http/1.1 200 OK\r\n", ResponseClass::NotHttp11},
        {"", ResponseClass::NotHttp11},
        {"HTTP/1.", ResponseClass::NotHttp11},
        {"HTTP/1.1", ResponseClass::NoStatus},
        {"HTTP/1.1 ", ResponseClass::NoStatus},
        {"HTTP/1.1     \t ", ResponseClass::NoStatus},
        {"HTTP/1.1 20", ResponseClass::Other},
        {"HTTP/1.1 404 Not Found\r\n\r\n", ResponseClass::Other},
        {"HTTP/1.1 401 Unauthorized\r\n\r\n", ResponseClass::Other},
        {"HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest nonce=\"n\"\r\n\r\n", ResponseClass::Other},
        {"HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r\"\r\n\r\n", ResponseClass::Other},
        {"HTTP/1.1 401 Unauthorized\r\nwww-authenticate: Digest realm=\"r\", nonce=\"n\"\r\n\r\n",
         ResponseClass::Other},
        {"HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"r\", nonce=\"n\"\r\n\r\n",
         ResponseClass::ChallengeTaken},
        {"HTTP/1.1 401 Unauthorized\r\n\r\n<p>WWW-Authenticate: Digest realm=\"r\", nonce=\"n\"</p>",
         ResponseClass::ChallengeTaken},
    };
    for (const Case& c : cases) {
        std::memset(&state, 0, sizeof state);
        EXPECT_EQ(classify(c.text), c.result) << "\"" << c.text << "\"";
    }
}

TEST_F(ClassifyTest, VersionAloneDoesNotReadPastTheText) {
    // Exactly the eight characters in a buffer of eight: a read of the ninth
    // would be reported by AddressSanitizer.
    char* text = new char[9];
    std::memcpy(text, "HTTP/1.1", 9);
    EXPECT_EQ(classify(text), ResponseClass::NoStatus);
    delete[] text;
}

TEST_F(ClassifyTest, ChallengeInTheBodyIsTaken) {
    EXPECT_EQ(classify("HTTP/1.1 401 Unauthorized\r\nContent-Length: 60\r\n\r\n"
                       "<html>WWW-Authenticate: Digest realm=\"body\", nonce=\"bn\"</html>"),
              ResponseClass::ChallengeTaken);
    EXPECT_STREQ(state.realm, "body");
    EXPECT_STREQ(state.nonce, "bn");
    EXPECT_STREQ(state.cnonce, "1a2");
}

TEST_F(ClassifyTest, StopsAtTheFirstNul) {
    const char text[] = "HTTP/1.1 401 Unauthorized\r\n\0WWW-Authenticate: Digest realm=\"r\", nonce=\"n\"\r\n";
    EXPECT_EQ(classify(text), ResponseClass::Other);
    EXPECT_STREQ(state.realm, "");
}

// --- scrapeLabel -------------------------------------------------------------

std::string scrape(const char* page, const char* label, int maxChars = 127, const char* before = "untouched") {
    char destination[160];
    std::memset(destination, '#', sizeof destination);
    std::strcpy(destination, before);
    char* result = orb::scrapeLabel(page, label, std::span(destination, static_cast<size_t>(maxChars) + 1));
    if (result == nullptr) return "<none:" + std::string(destination) + ">";
    EXPECT_EQ(result, destination);
    return destination;
}

TEST(ScrapeLabel, LabelFollowedBySeveralTags) {
    EXPECT_EQ(scrape("<td>Software Version:</td><td><b>1.0.2</b></td>", "Software Version:"), "1.0.2");
}

TEST(ScrapeLabel, NoGreaterThanAfterTheLabel) {
    EXPECT_EQ(scrape("<td>Software Version: 1.0.2", "Software Version:"), "<none:untouched>");
}

TEST(ScrapeLabel, MissingLabel) { EXPECT_EQ(scrape("<td>Product Name:</td>", "Serial Number:"), "<none:untouched>"); }

TEST(ScrapeLabel, UnendedTagAfterTheFirstTag) {
    EXPECT_EQ(scrape("Serial Number:</td><td", "Serial Number:"), "<none:untouched>");
}

TEST(ScrapeLabel, TextRightAfterTheLabelTheNextTagDecides) {
    EXPECT_EQ(scrape("Product Name: ORB-4100<br>next</td>", "Product Name:"), "next");
}

TEST(ScrapeLabel, CharactersBetweenTagsAreTheValue) {
    EXPECT_EQ(scrape("MAC Address:</td>\n<td>00:11:22</td>", "MAC Address:"), "\n");
    EXPECT_EQ(scrape("MAC Address:</td> <td>00:11:22</td>", "MAC Address:"), " ");
}

TEST(ScrapeLabel, CutAt127Characters) {
    const std::string value(200, 'v');
    const std::string page = "Serial Number:<td>" + value + "</td>";
    std::string got = scrape(page.c_str(), "Serial Number:");
    EXPECT_EQ(got, std::string(127, 'v'));
    // Exactly 127 and 126 characters stand whole.
    EXPECT_EQ(scrape(("Serial Number:<td>" + std::string(127, 'w') + "<").c_str(), "Serial Number:"),
              std::string(127, 'w'));
    EXPECT_EQ(scrape(("Serial Number:<td>" + std::string(126, 'w')).c_str(), "Serial Number:"), std::string(126, 'w'));
}

TEST(ScrapeLabel, CutWritesNoFurtherThanTheLimit) {
    char destination[8];
    std::memset(destination, '#', sizeof destination);
    ASSERT_NE(orb::scrapeLabel("L:<b>abcdefghij", "L:", std::span(destination, 6)), nullptr);
    EXPECT_STREQ(destination, "abcde");
    EXPECT_EQ(destination[6], '#');
}

TEST(ScrapeLabel, FirstOfTwoOccurrences) {
    EXPECT_EQ(scrape("Product Name:<b>first</b> Product Name:<b>second</b>", "Product Name:"), "first");
}

TEST(ScrapeLabel, TagThenEndOfPage) { EXPECT_EQ(scrape("Hardware Version:</td>", "Hardware Version:"), ""); }

TEST(ScrapeLabel, ValueToTheEndOfTheText) {
    EXPECT_EQ(scrape("Hardware Version:<td>1.0 rev\r\n", "Hardware Version:"), "1.0 rev\r\n");
}

TEST(ScrapeLabel, CaseSensitive) { EXPECT_EQ(scrape("product name:<b>x", "Product Name:"), "<none:untouched>"); }

TEST(ScrapeDeviceInfo, FiveLabelsAndASecondPageKeepsMissingOnes) {
    orb::DeviceInfo info;
    std::memset(&info, 0, sizeof info);
    const char* first =
        "<table><tr><td>Product Name:</td><td>ORB-4100</td></tr>"
        "<tr><td>MAC Address:</td><td>00:0E:08:12:34:56</td></tr>"
        "<tr><td>Software Version:</td><td><b>1.0.2</b></td></tr>"
        "<tr><td>Hardware Version:</td><td>2.1</td></tr>"
        "<tr><td>Serial Number:</td><td>SN0001</td></tr></table>";
    orb::scrapeDeviceInfo(first, &info);
    EXPECT_STREQ(info.productName, "ORB-4100");
    EXPECT_STREQ(info.macAddress, "00:0E:08:12:34:56");
    EXPECT_STREQ(info.softwareVersion, "1.0.2");
    EXPECT_STREQ(info.hardwareVersion, "2.1");
    EXPECT_STREQ(info.serialNumber, "SN0001");
    orb::scrapeDeviceInfo("<p>Software Version:</p><p>2.0.10(a)</p>", &info);
    EXPECT_STREQ(info.productName, "ORB-4100");
    EXPECT_STREQ(info.macAddress, "00:0E:08:12:34:56");
    EXPECT_STREQ(info.softwareVersion, "2.0.10(a)");
    EXPECT_STREQ(info.hardwareVersion, "2.1");
    EXPECT_STREQ(info.serialNumber, "SN0001");
}

}  // namespace
