// The events of an unattended run: what a person would have seen, one record
// per step, written as a JSON object on one line (stable field names, for
// scripts) or as a line of text. The single-adapter runs hand them to the
// parent as JSON lines; the parent reads them back with parseEventLine.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/terminal_escape.h"  // escapeForTerminal, which every text line goes through

namespace orb::unattended {

struct EventField {
    std::string name;
    std::string value;
    bool number = false;  // written bare in JSON
};

// Fields keep their order: "adapter" and "event" first, "text" (the line a
// person reads) last by convention.
struct Event {
    std::vector<EventField> fields;

    Event() = default;
    Event(const std::string& adapter, const std::string& name);
    Event& add(const std::string& name, const std::string& value);
    Event& add(const std::string& name, long long value);
    // Empty when the field is missing.
    std::string value(const std::string& name) const;
    bool has(const std::string& name) const;
};

// {"adapter":"127.0.0.2","event":"status",...}: one line, no newline, valid
// UTF-8: control bytes and bytes of 0x80 and above as \u00XX (or \n, \t ...).
std::string formatJson(const Event& event);
// A flat JSON object as formatJson writes it (strings, numbers, true, false,
// null); nullopt for anything else. Gives back exactly the bytes formatJson
// wrote, \u00XX as the byte XX.
std::optional<Event> parseEventLine(const std::string& line);
// "127.0.0.2: <text>", or the fields as name=value when there is no text.
// What an adapter sends cannot move the cursor, retitle the terminal or start
// a line of its own: see escapeForTerminal.
std::string formatTextLine(const Event& event);

// The program's own words on standard error (not an adapter's event).
// Linux: "orb-upgrade: TEXT", as its tools write them. After
// useWindowsMessageStyle, as Windows's own console tools write them:
// "ERROR: TEXT", "WARNING: TEXT", "INFO: TEXT".
enum class MessageKind { Error, Warning, Note };
void useWindowsMessageStyle();
std::string formatMessage(MessageKind kind, const std::string& text);
// Writes formatMessage's line (and a newline) to standard error, with any
// letters of a path shown as they are.
void sayOnStandardError(MessageKind kind, const std::string& text);
// The line after a usage error that says where the options are listed.
std::string usageHint();

}  // namespace orb::unattended
