#include "sim/event_log.h"

#include "base/hex.h"

namespace orb::sim {

EventLine& EventLine::add(const std::string& key, const std::string& value) {
    fields.emplace_back(key, value);
    return *this;
}

std::optional<std::string> EventLine::get(const std::string& key) const {
    for (const auto& [fieldKey, fieldValue] : fields) {
        if (fieldKey == key) return fieldValue;
    }
    return std::nullopt;
}

// The fallback is most often left to its default; where given, it reads as one
// after a key, as in std::optional::value_or.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
std::string EventLine::value(const std::string& key, const std::string& fallback) const {
    auto found = get(key);
    return found ? *found : fallback;
}

namespace {

bool needsQuotes(const std::string& value) {
    if (value.empty() || value[0] == '=') return true;
    for (unsigned char c : value) {
        if (c <= ' ' || c >= 0x7f || c == '"' || c == '\\') return true;
    }
    return false;
}

}  // namespace

std::string formatEventValue(const std::string& value) {
    if (!needsQuotes(value)) return value;
    std::string out = "\"";
    for (unsigned char c : value) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < ' ' || c >= 0x7f) {
                    out += "\\x";
                    appendHexByte(out, c);
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
    return out;
}

std::string formatEventLine(const EventLine& line) {
    std::string out = "event=" + formatEventValue(line.name);
    for (const auto& [key, value] : line.fields) {
        out += ' ';
        out += key;
        out += '=';
        out += formatEventValue(value);
    }
    return out;
}

namespace {

// The escape after a backslash in a quoted value, from *at on, onto *value;
// false when it is cut short or not hex where hex is due.
bool readEscape(const std::string& text, size_t* at, std::string* value) {
    if (*at >= text.size()) return false;
    char escaped = text[(*at)++];
    switch (escaped) {
        case 'n': *value += '\n'; break;
        case 'r': *value += '\r'; break;
        case 't': *value += '\t'; break;
        case 'x': {
            if (*at + 2 > text.size()) return false;
            int high = hexDigitValue(text[*at]), low = hexDigitValue(text[*at + 1]);
            if (high < 0 || low < 0) return false;
            *value += static_cast<char>(high * 16 + low);
            *at += 2;
            break;
        }
        default: *value += escaped;
    }
    return true;
}

// A quoted value whose opening quote is at *at, up to and past its closing
// quote; false when it never closes.
bool readQuotedValue(const std::string& text, size_t* at, std::string* value) {
    ++*at;
    while (*at < text.size()) {
        char c = text[(*at)++];
        if (c == '"') return true;
        if (c != '\\') {
            *value += c;
        } else if (!readEscape(text, at, value)) {
            return false;
        }
    }
    return false;
}

}  // namespace

std::optional<EventLine> parseEventLine(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> fields;
    size_t at = 0;
    while (at < text.size()) {
        if (text[at] == ' ') {
            ++at;
            continue;
        }
        size_t equals = text.find('=', at);
        if (equals == std::string::npos) return std::nullopt;
        std::string key = text.substr(at, equals - at);
        if (key.empty() || key.find(' ') != std::string::npos) return std::nullopt;
        at = equals + 1;
        std::string value;
        if (at < text.size() && text[at] == '"') {
            if (!readQuotedValue(text, &at, &value)) return std::nullopt;
        } else {
            size_t end = text.find(' ', at);
            if (end == std::string::npos) end = text.size();
            value = text.substr(at, end - at);
            at = end;
        }
        fields.emplace_back(std::move(key), std::move(value));
    }
    if (fields.empty() || fields[0].first != "event") return std::nullopt;
    EventLine line(fields[0].second);
    line.fields.assign(fields.begin() + 1, fields.end());
    return line;
}

void EventLog::write(const EventLine& line) {
    std::string text = formatEventLine(line);
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fflush(out_);
}

}  // namespace orb::sim
