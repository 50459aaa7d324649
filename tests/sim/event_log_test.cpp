// The event line format: what orb-sim writes and what tests read back.
#include <gtest/gtest.h>

#include <cstdio>

#include "sim/event_log.h"

namespace orb::sim {
namespace {

TEST(SimEventLog, PlainValuesStandBare) {
    EventLine line("http-request");
    line.add("path", "/admin/advanced").add("status", 401).add("nc", "000000001");
    EXPECT_EQ(formatEventLine(line), "event=http-request path=/admin/advanced status=401 nc=000000001");
}

TEST(SimEventLog, ValuesWithBlanksQuotesOrControlsAreQuoted) {
    EXPECT_EQ(formatEventValue(""), "\"\"");
    EXPECT_EQ(formatEventValue("ORB Admin"), "\"ORB Admin\"");
    EXPECT_EQ(formatEventValue("say \"hi\""), "\"say \\\"hi\\\"\"");
    EXPECT_EQ(formatEventValue("a\\b"), "\"a\\\\b\"");
    EXPECT_EQ(formatEventValue("line\r\nend\t"), "\"line\\r\\nend\\t\"");
    EXPECT_EQ(formatEventValue(std::string("\x01\xff", 2)), "\"\\x01\\xff\"");
    EXPECT_EQ(formatEventValue("=x"), "\"=x\"");
    EXPECT_EQ(formatEventValue("a=b"), "a=b");
    EXPECT_EQ(formatEventValue("2.0.10(a)"), "2.0.10(a)");
}

TEST(SimEventLog, ParseReadsBackWhatFormatWrote) {
    EventLine line("image-received");
    line.add("version", "2.0.10(a)")
        .add("realm", "ORB Admin")
        .add("empty", "")
        .add("odd", std::string("q\"\\\n\x02", 5));
    line.add("cnonce", "MWNi=");
    auto parsed = parseEventLine(formatEventLine(line));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->name, "image-received");
    EXPECT_EQ(parsed->fields, line.fields);
    EXPECT_EQ(parsed->value("realm"), "ORB Admin");
    EXPECT_EQ(parsed->value("missing", "fallback"), "fallback");
    EXPECT_FALSE(parsed->has("missing"));
}

TEST(SimEventLog, ParseRefusesLinesThatAreNotEvents) {
    EXPECT_FALSE(parseEventLine(""));
    EXPECT_FALSE(parseEventLine("hello world"));
    EXPECT_FALSE(parseEventLine("status=1 event=x"));
    EXPECT_FALSE(parseEventLine("event=x key=\"unterminated"));
    EXPECT_TRUE(parseEventLine("event=x"));
}

TEST(SimEventLog, WritesOneFlushedLinePerEvent) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    EventLog log(file);
    log.write(EventLine("restart-down").add("down-ms", 100));
    log.write(EventLine("restart-up"));
    std::rewind(file);
    char text[256] = {};
    size_t length = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    EXPECT_EQ(std::string(text, length), "event=restart-down down-ms=100\nevent=restart-up\n");
}

}  // namespace
}  // namespace orb::sim
