// The machine-readable lines that orb-sim writes on standard output, one per
// event:
//
//   event=NAME key=value key=value ...
//
// A value that is empty or holds a blank, a double quote, a backslash, an
// equals sign at its start, or a byte outside printable ASCII is written in
// double quotes, with \" \\ \n \r \t and \xHH escapes; every other value is
// written bare. Keys are lowercase words with hyphens. parseEventLine reads a
// line back, so tests and scripts never need to guess at the quoting.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orb::sim {

struct EventLine {
    std::string name;                                         // the value of the leading event= field
    std::vector<std::pair<std::string, std::string>> fields;  // the fields after it, in order

    EventLine() = default;
    explicit EventLine(std::string eventName) : name(std::move(eventName)) {}

    EventLine& add(const std::string& key, const std::string& value);
    EventLine& add(const std::string& key, const char* value) { return add(key, std::string(value)); }
    EventLine& add(const std::string& key, int64_t value) { return add(key, std::to_string(value)); }
    EventLine& add(const std::string& key, uint64_t value) { return add(key, std::to_string(value)); }
    EventLine& add(const std::string& key, int value) { return add(key, std::to_string(value)); }
    EventLine& add(const std::string& key, unsigned value) { return add(key, std::to_string(value)); }

    // The value of the first field named `key`.
    std::optional<std::string> get(const std::string& key) const;
    bool has(const std::string& key) const { return get(key).has_value(); }
    // get(key), or `fallback` when the field is missing.
    std::string value(const std::string& key, const std::string& fallback = "") const;
};

// A value as it stands in a line: bare or quoted with escapes.
std::string formatEventValue(const std::string& value);
// The whole line, without the line end.
std::string formatEventLine(const EventLine& line);
// Reads a line written by formatEventLine. Empty when the line does not begin
// with an event= field or its quoting is broken.
std::optional<EventLine> parseEventLine(const std::string& text);

// Writes each event as one line and flushes at once, so that a reader on a
// pipe sees every line as it happens.
class EventLog {
public:
    explicit EventLog(std::FILE* out) : out_(out) {}
    void write(const EventLine& line);

private:
    std::FILE* out_;
};

}  // namespace orb::sim
