#include "app/unattended/unattended_events.h"

#include <atomic>
#include <cstdio>

#include "platform/system_text.h"

namespace orb::unattended {

Event::Event(const std::string& adapter, const std::string& name) {
    add("adapter", adapter);
    add("event", name);
}

Event& Event::add(const std::string& name, const std::string& value) {
    fields.push_back({name, value, false});
    return *this;
}

Event& Event::add(const std::string& name, long long value) {
    fields.push_back({name, std::to_string(value), true});
    return *this;
}

std::string Event::value(const std::string& name) const {
    for (const EventField& field : fields)
        if (field.name == name) return field.value;
    return {};
}

bool Event::has(const std::string& name) const {
    for (const EventField& field : fields)
        if (field.name == name) return true;
    return false;
}

namespace {

void appendQuoted(std::string* out, const std::string& text) {
    out->push_back('"');
    for (unsigned char c : text) {
        switch (c) {
            case '"': *out += "\\\""; break;
            case '\\': *out += "\\\\"; break;
            case '\n': *out += "\\n"; break;
            case '\r': *out += "\\r"; break;
            case '\t': *out += "\\t"; break;
            default:
                // Bytes of 0x80 and above as the code points of the same number:
                // the texts are single-byte, and the line stays valid UTF-8
                // whatever an adapter sends.
                if (c < 0x20 || c >= 0x7f) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", c);
                    *out += escape;
                } else {
                    out->push_back(static_cast<char>(c));
                }
        }
    }
    out->push_back('"');
}

class Reader {
public:
    explicit Reader(const std::string& text) : text_(text) {}

    void skipBlanks() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\r')) ++pos_;
    }
    bool take(char c) {
        skipBlanks();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool atEnd() {
        skipBlanks();
        return pos_ == text_.size();
    }
    bool readString(std::string* out) {
        if (!take('"')) return false;
        while (pos_ < text_.size()) {
            char c = text_[pos_++];
            if (c == '"') return true;
            if (c != '\\') {
                out->push_back(c);
                continue;
            }
            if (pos_ >= text_.size()) return false;
            char e = text_[pos_++];
            switch (e) {
                case '"':
                case '\\':
                case '/': out->push_back(e); break;
                case 'n': out->push_back('\n'); break;
                case 'r': out->push_back('\r'); break;
                case 't': out->push_back('\t'); break;
                case 'b': out->push_back('\b'); break;
                case 'f': out->push_back('\f'); break;
                case 'u': {
                    if (pos_ + 4 > text_.size()) return false;
                    unsigned code = 0;
                    for (int i = 0; i < 4; ++i) {
                        char h = text_[pos_++];
                        code <<= 4;
                        if (h >= '0' && h <= '9')
                            code |= static_cast<unsigned>(h - '0');
                        else if (h >= 'a' && h <= 'f')
                            code |= static_cast<unsigned>(h - 'a' + 10);
                        else if (h >= 'A' && h <= 'F')
                            code |= static_cast<unsigned>(h - 'A' + 10);
                        else
                            return false;
                    }
                    if (code > 0xff) return false;  // the writer escapes single bytes only
                    out->push_back(static_cast<char>(code));
                    break;
                }
                default: return false;
            }
        }
        return false;
    }
    // A number or a literal, kept as its text.
    bool readBare(std::string* out) {
        skipBlanks();
        size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] != ',' && text_[pos_] != '}' && text_[pos_] != ' ') ++pos_;
        *out = text_.substr(start, pos_ - start);
        if (out->empty()) return false;
        if (*out == "true" || *out == "false" || *out == "null") return true;
        for (size_t i = 0; i < out->size(); ++i) {
            char c = (*out)[i];
            bool ok = (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || (c == '-');
            if (!ok) return false;
        }
        return true;
    }
    bool nextIsString() {
        skipBlanks();
        return pos_ < text_.size() && text_[pos_] == '"';
    }

private:
    const std::string& text_;
    size_t pos_ = 0;
};

}  // namespace

std::string formatJson(const Event& event) {
    std::string out = "{";
    for (size_t i = 0; i < event.fields.size(); ++i) {
        if (i > 0) out.push_back(',');
        appendQuoted(&out, event.fields[i].name);
        out.push_back(':');
        if (event.fields[i].number) {
            out += event.fields[i].value;
        } else {
            appendQuoted(&out, event.fields[i].value);
        }
    }
    out.push_back('}');
    return out;
}

std::optional<Event> parseEventLine(const std::string& line) {
    Reader reader(line);
    Event event;
    if (!reader.take('{')) return std::nullopt;
    if (reader.take('}')) return reader.atEnd() ? std::optional<Event>(event) : std::nullopt;
    for (;;) {
        EventField field;
        if (!reader.readString(&field.name) || !reader.take(':')) return std::nullopt;
        if (reader.nextIsString()) {
            if (!reader.readString(&field.value)) return std::nullopt;
        } else {
            if (!reader.readBare(&field.value)) return std::nullopt;
            field.number = true;
        }
        event.fields.push_back(field);
        if (reader.take(',')) continue;
        if (reader.take('}')) break;
        return std::nullopt;
    }
    if (!reader.atEnd()) return std::nullopt;
    return event;
}

std::string formatTextLine(const Event& event) {
    std::string line = escapeForTerminal(event.value("adapter")) + ": ";
    if (event.has("text")) return line + escapeForTerminal(event.value("text"));
    line += escapeForTerminal(event.value("event"));
    for (const EventField& field : event.fields) {
        if (field.name == "adapter" || field.name == "event") continue;
        line += " " + escapeForTerminal(field.name) + "=" + escapeForTerminal(field.value);
    }
    return line;
}

namespace {

std::atomic<bool> windowsStyle{false};

}  // namespace

void useWindowsMessageStyle() { windowsStyle = true; }

std::string formatMessage(MessageKind kind, const std::string& text) {
    if (!windowsStyle) return "orb-upgrade: " + text;
    const char* label = kind == MessageKind::Error ? "ERROR: " : kind == MessageKind::Warning ? "WARNING: " : "INFO: ";
    return label + text;
}

void sayOnStandardError(MessageKind kind, const std::string& text) {
    writeText(stderr, formatMessage(kind, text) + "\n");
}

std::string usageHint() {
    return windowsStyle ? "Type \"orb-upgrade --help\" for usage."
                        : "(orb-upgrade --unattended --help lists the options)";
}

}  // namespace orb::unattended
