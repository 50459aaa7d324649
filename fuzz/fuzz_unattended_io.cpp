// What crosses the unattended front-end from outside: texts an adapter sends,
// the command line, the addresses file.
//
// The input split at NUL bytes gives the pieces:
// - an event of adapter texts (adapter, event, then name/value pairs and a
//   number): its JSON line is valid UTF-8 without a raw control byte and
//   parseEventLine gives back every field exactly; its text line holds
//   printable ASCII only;
// - the command line (the files it names replaced by one that does not exist):
//   an accepted one names each adapter once, in the canonical form, and the
//   adapter's own run parses back to the same adapter; a refusal is one
//   printable line.
// The whole input is also an addresses file's content, with the same checks.
#include <string>
#include <vector>

#include "app/unattended/unattended_events.h"
#include "app/unattended/unattended_options.h"
#include "fuzz/fuzz_support.h"

using namespace orb;
using namespace orb::unattended;

namespace {

bool isValidUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xe ? 3 : (c >> 3) == 0x1e ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) return false;
        i += length;
    }
    return true;
}

bool hasByteBelow0x20(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20) return true;
    return false;
}

bool isPrintableAscii(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) return false;
    return true;
}

void checkEvent(const std::vector<std::string>& pieces, long long number) {
    Event event(pieces[0], pieces.size() > 1 ? pieces[1] : std::string());
    for (size_t i = 2; i + 1 < pieces.size(); i += 2) event.add(pieces[i], pieces[i + 1]);
    event.add("code", number);
    std::string line = formatJson(event);
    fuzz::require(isValidUtf8(line), "a JSON line is valid UTF-8");
    fuzz::require(!hasByteBelow0x20(line), "a JSON line holds no raw control byte");
    std::optional<Event> back = parseEventLine(line);
    fuzz::require(back.has_value(), "a JSON line parses back");
    fuzz::require(back->fields.size() == event.fields.size(), "every field comes back");
    for (size_t i = 0; i < event.fields.size(); ++i) {
        fuzz::require(back->fields[i].name == event.fields[i].name, "a field's name comes back exactly");
        fuzz::require(back->fields[i].value == event.fields[i].value, "a field's value comes back exactly");
        fuzz::require(back->fields[i].number == event.fields[i].number, "a number comes back a number");
    }
    fuzz::require(isPrintableAscii(formatTextLine(event)), "a text line is printable ASCII");
    event.add("text", pieces.back());
    fuzz::require(isPrintableAscii(formatTextLine(event)), "a text line with a text is printable ASCII");
}

void checkAdapters(const std::vector<std::string>& addresses) {
    for (size_t i = 0; i < addresses.size(); ++i) {
        uint32_t number = 0;
        fuzz::require(parseDottedQuad(addresses[i], &number), "an adapter is a dotted quad");
        fuzz::require(formatIPv4(number) == addresses[i], "an adapter is kept in the canonical form");
        fuzz::require(number != 0 && number != 0xffffffff, "no adapter is 0.0.0.0 or 255.255.255.255");
        for (size_t k = 0; k < i; ++k) fuzz::require(addresses[k] != addresses[i], "each adapter once");
    }
}

void checkRefusal(const std::string& error) {
    fuzz::require(!error.empty(), "a refusal says why");
    fuzz::require(isPrintableAscii(error), "a refusal is one printable line");
}

void checkCommandLine(std::vector<std::string> args) {
    // No file of this machine is read: a file's content is fuzzed below.
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--addresses-file" || args[i] == "--password-file") args[++i] = "/nonexistent/orb-fuzz";
    UnattendedOptions options;
    std::string error;
    ParseResult result = parseUnattendedOptions(args, &options, &error);
    if (result == ParseResult::UsageError) return checkRefusal(error);
    if (result == ParseResult::Help) return;
    fuzz::require(!options.addresses.empty(), "a run has an adapter");
    checkAdapters(options.addresses);
    fuzz::require(options.parallel >= 1 && options.parallel <= kMaxParallel, "--parallel within 1..32");
    if (!options.pcAddress.empty()) checkAdapters({options.pcAddress});
    UnattendedOptions child;
    std::string childError;
    fuzz::require(parseUnattendedOptions(adapterRunArguments(options, options.addresses[0]), &child, &childError) ==
                      ParseResult::Run,
                  "the adapter's run accepts its arguments");
    fuzz::require(child.adapterRun && child.addresses == std::vector<std::string>{options.addresses[0]} &&
                      child.pcAddress == options.pcAddress && child.user == options.user,
                  "the adapter's run gets the same adapter, PC address and user");
}

void checkAddressesFile(const std::string& text) {
    NamedAdapters adapters;
    std::string error;
    if (!addAdaptersFromText(text, "fuzz.txt", &adapters, &error)) {
        checkRefusal(error);
        fuzz::require(error.rfind("fuzz.txt:", 0) == 0, "a refusal names the file and line");
        return;
    }
    std::vector<std::string> addresses;
    for (const NamedAdapter& adapter : adapters.list) addresses.push_back(adapter.address);
    checkAdapters(addresses);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> pieces(1);
    for (char c : input) {
        if (c == '\0')
            pieces.emplace_back();
        else
            pieces.back().push_back(c);
    }
    long long number = 0;
    for (size_t i = 0; i < size && i < 8; ++i) number = number << 8 | data[i];
    checkEvent(pieces, number);
    checkCommandLine(pieces);
    checkAddressesFile(input);
    return 0;
}
