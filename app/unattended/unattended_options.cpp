#include "app/unattended/unattended_options.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>

#include "platform/command_file.h"
#include "platform/log_file.h"
#include "platform/system_text.h"
#include "base/ipv4_text.h"
#include "base/utf8.h"
#include "app/unattended/unattended_events.h"

namespace orb::unattended {

namespace {

bool parseCount(const std::string& text, int* value) {
    if (text.empty() || text.size() > 4) return false;
    int n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    *value = n;
    return true;
}

// A text from the command line or a file, quoted for a message on the
// terminal: bytes that are not printable ASCII as \xNN.
std::string quoted(const std::string& text) { return "\"" + escapeForTerminal(text) + "\""; }

// What the command line names is read with a bound, whatever the file is:
// /dev/zero or a pipe that never ends is no list of adapters. A named pipe
// without a writer is said on standard error, since the command waits for it.
bool readNamedFile(const std::string& option, const std::string& path, size_t limit, std::string* text,
                   std::string* reason) {
    return readCommandFile(path, limit, text, reason, [&] {
        sayOnStandardError(MessageKind::Note,
                           option + " " + path + ": waiting for a writer: nothing has been written to it yet");
    });
}

bool readAddressesFile(const std::string& path, NamedAdapters* adapters, std::string* error) {
    std::string text, reason;
    if (!readNamedFile("--addresses-file", path, kMaxAddressesFileBytes + 1, &text, &reason)) {
        *error = "cannot read the addresses file " + path + ": " + reason;
        return false;
    }
    if (text.size() > kMaxAddressesFileBytes) {
        *error = "the addresses file " + path + " is larger than " + std::to_string(kMaxAddressesFileBytes >> 20) +
                 " MiB, the most that is read (a list of about 250,000 adapters)";
        return false;
    }
    return addAdaptersFromText(textOfFile(text), path, adapters, error);
}

constexpr char kByteOrderMark[] = "\xef\xbb\xbf";
constexpr size_t kPasswordFileReadBytes = 2 + 2 * kMaxPasswordBytes + 4 + 2 + 1;

}  // namespace

std::string textOfFile(const std::string& bytes) {
    std::string text;
    bool little = bytes.compare(0, 2, "\xff\xfe") == 0, big = bytes.compare(0, 2, "\xfe\xff") == 0;
    if (little || big) {
        auto unit = [&](size_t at) {
            auto byte = [&](size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(bytes[i])); };
            return little ? byte(at) | byte(at + 1) << 8 : byte(at) << 8 | byte(at + 1);
        };
        for (size_t at = 2; at + 1 < bytes.size(); at += 2) {
            char32_t code = unit(at);
            if (code >= 0xd800 && code < 0xdc00 && at + 3 < bytes.size() && unit(at + 2) >= 0xdc00 &&
                unit(at + 2) < 0xe000) {
                code = 0x10000 + ((code - 0xd800) << 10) + (unit(at + 2) - 0xdc00);
                at += 2;
            }
            std::string encoded = utf8::encode(code);
            text += encoded.empty() ? utf8::encode(0xfffd) : encoded;  // a lone surrogate
        }
    } else {
        text = bytes;
    }
    if (!text.empty() && text.back() == '\x1a') text.pop_back();
    return text;
}

bool isDottedQuad(const std::string& text) {
    uint32_t address = 0;
    return parseDottedQuad(text, &address);
}

bool addAdapter(const std::string& spelling, const std::string& where, NamedAdapters* adapters, std::string* error) {
    uint32_t number = 0;
    if (!parseDottedQuad(spelling, &number)) {
        *error = where + ": " + quoted(spelling) + " is not an IPv4 address";
        return false;
    }
    if (number == 0 || number == 0xffffffff) {
        *error = where + ": " + quoted(spelling) + " is not an adapter's address (" +
                 (number == 0 ? "0.0.0.0 means any address" : "255.255.255.255 is the broadcast address") + ")";
        return false;
    }
    auto [known, added] = adapters->byAddress.try_emplace(number, adapters->list.size());
    if (!added) {
        const NamedAdapter& named = adapters->list[known->second];
        if (named.spelling == spelling)
            *error = where + ": the adapter " + spelling + " is given twice (first: " + named.where + ")";
        else
            *error = where + ": the adapter " + spelling + " is " + named.spelling + " (" + named.where + ") again";
        return false;
    }
    adapters->list.push_back({formatIPv4(number), spelling, where});
    return true;
}

// The text, then the name of the file it came from, which only labels errors.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
bool addAdaptersFromText(const std::string& text, const std::string& fileName, NamedAdapters* adapters,
                         std::string* error) {
    size_t pos = text.compare(0, 3, kByteOrderMark) == 0 ? 3 : 0;
    for (int number = 1; pos < text.size(); ++number) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        line.resize(std::min(line.size(), line.find('#')));
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos) continue;
        size_t last = line.find_last_not_of(" \t\r");
        std::string where = fileName + ":" + std::to_string(number);
        if (!addAdapter(line.substr(first, last - first + 1), where, adapters, error)) return false;
    }
    return true;
}

namespace {

// What parsing gathers besides the options themselves.
struct ParseState {
    UnattendedOptions* options;
    NamedAdapters adapters;
    std::vector<std::string> addressFiles;
};

// An option as given: its name and its value, the two strings a parser must
// not mix up.
struct OptionArgument {
    const std::string& name;
    const std::string& value;
};

bool parseSeconds(const OptionArgument& option, int* seconds, std::string* error) {
    if (parseCount(option.value, seconds) && *seconds >= 0 && *seconds <= kMaxTimeoutSeconds) return true;
    *error = option.name + " takes a number of seconds from 0 (no limit) to " + std::to_string(kMaxTimeoutSeconds);
    return false;
}

void passValue(std::vector<std::string>* args, const char* name, const std::string& value) {
    args->push_back(name);
    args->push_back(value);
}

// One row per option: its name, the name of its value (nullptr: a flag), its
// lines in --help (none: not shown), how it is parsed (nullptr: never taken),
// and what the single-adapter run gets of it (nullptr: nothing).
struct OptionRow {
    const char* name;
    const char* valueName;
    std::array<const char*, 4> help;  // nullptr after the last line
    bool (*parse)(const OptionArgument& option, ParseState* state, std::string* error);
    void (*passOn)(const char* name, const UnattendedOptions& options, const std::string& address,
                   std::vector<std::string>* args);
};

constexpr OptionRow kOptionRows[] = {
    // Taken only as the first argument, before the table is asked.
    {"--unattended",
     nullptr,
     {"upgrade without a person: answer every dialog from the", "options below"},
     nullptr,
     [](const char* name, const UnattendedOptions&, const std::string&, std::vector<std::string>* args) {
         args->push_back(name);
     }},
    {"--adapter-run",
     nullptr,
     {},
     [](const OptionArgument&, ParseState* state, std::string*) { return state->options->adapterRun = true; },
     [](const char* name, const UnattendedOptions&, const std::string&, std::vector<std::string>* args) {
         args->push_back(name);
     }},
    {"--accept-warning",
     nullptr,
     {"required with --unattended: accept the warning about", "upgrading without your service provider's approval"},
     [](const OptionArgument&, ParseState* state, std::string*) { return state->options->acceptWarning = true; },
     [](const char* name, const UnattendedOptions&, const std::string&, std::vector<std::string>* args) {
         args->push_back(name);
     }},
    {"--address",
     "A.B.C.D",
     {"an adapter to upgrade (repeatable). Numbers are", "decimal (010.1.0.8 is 10.1.0.8); an adapter named",
      "twice, 0.0.0.0 and 255.255.255.255 are refused"},
     [](const OptionArgument& option, ParseState* state, std::string* error) {
         return addAdapter(option.value, option.name, &state->adapters, error);
     },
     [](const char* name, const UnattendedOptions&, const std::string& address, std::vector<std::string>* args) {
         passValue(args, name, address);
     }},
    {"--addresses-file",
     "FILE",
     {"adapters, one address a line; '#' starts a comment;", "blanks, CRLF, a byte-order mark (UTF-8 or UTF-16)",
      "and a final Ctrl-Z are ignored; errors name FILE:LINE;",
      "more than 4 MiB (a device, an endless pipe) is refused"},
     [](const OptionArgument& option, ParseState* state, std::string*) {
         state->addressFiles.push_back(option.value);
         return true;
     },
     nullptr},
    {"--pc-address",
     "A.B.C.D",
     {"this computer's address that the adapters fetch the", "image from (one of the addresses the dialog offers;",
      "default: the one this computer sends to each adapter", "from, when offered, else the first)"},
     [](const OptionArgument& option, ParseState* state, std::string* error) {
         uint32_t pcAddress = 0;
         if (!parseDottedQuad(option.value, &pcAddress)) {
             *error = option.name + ": " + quoted(option.value) + " is not an IPv4 address";
             return false;
         }
         // Compared with the addresses the dialog offers, which have no
         // leading zeros.
         state->options->pcAddress = formatIPv4(pcAddress);
         return true;
     },
     [](const char* name, const UnattendedOptions& options, const std::string&, std::vector<std::string>* args) {
         if (!options.pcAddress.empty()) passValue(args, name, options.pcAddress);
     }},
    {"--user",
     "NAME",
     {"the administrator's name (default: admin)"},
     [](const OptionArgument& option, ParseState* state, std::string*) {
         state->options->user = option.value;
         return true;
     },
     [](const char* name, const UnattendedOptions& options, const std::string&, std::vector<std::string>* args) {
         if (!options.user.empty()) passValue(args, name, options.user);
     }},
    {"--password-file",
     "FILE",
     {"the password (1 to 126 bytes of UTF-8; a byte-order", "mark, a final Ctrl-Z, one line end are dropped); else",
      "ORB_PASSWORD, taken the same way. A refused password", "is not retried"},
     [](const OptionArgument& option, ParseState* state, std::string*) {
         state->options->passwordFile = option.value;
         return true;
     },
     nullptr},
    {"--password",
     nullptr,
     {},
     [](const OptionArgument&, ParseState*, std::string* error) {
         *error = "the password is never taken from the command line: use --password-file FILE or ORB_PASSWORD";
         return false;
     },
     nullptr},
    {"--check",
     nullptr,
     {"only read each adapter's status page and say whether", "it runs the embedded version; nothing is triggered",
      "(exit 0: all current, 10: some would be upgraded);", "with --force a current adapter is needs-upgrade too"},
     [](const OptionArgument&, ParseState* state, std::string*) { return state->options->check = true; },
     [](const char* name, const UnattendedOptions& options, const std::string&, std::vector<std::string>* args) {
         if (options.check) args->push_back(name);
     }},
    {"--force",
     nullptr,
     {"upgrade also the adapters that already run the", "embedded version (without it they end as current,",
      "untouched)"},
     [](const OptionArgument&, ParseState* state, std::string*) { return state->options->force = true; },
     [](const char* name, const UnattendedOptions& options, const std::string&, std::vector<std::string>* args) {
         if (options.force) args->push_back(name);
     }},
    {"--parallel",
     "N",
     {"upgrade up to N adapters at once (1 to 1000, default", "4; fewer when the open-file limit cannot hold N); they",
      "take turns at the listener's 100 ports and the 101", "HTTP local ports, most waiting for their restarts"},
     [](const OptionArgument& option, ParseState* state, std::string* error) {
         int* parallel = &state->options->parallel;
         if (parseCount(option.value, parallel) && *parallel >= 1 && *parallel <= kMaxParallel) return true;
         *error = option.name + " takes a number from 1 to " + std::to_string(kMaxParallel);
         return false;
     },
     nullptr},
    {"--request-timeout",
     "S",
     {"give up on an adapter whose read request has not come", "S seconds after the trigger (default 120; 0: no",
      "limit): result no-request"},
     [](const OptionArgument& option, ParseState* state, std::string* error) {
         return parseSeconds(option, &state->options->requestTimeoutSeconds, error);
     },
     [](const char* name, const UnattendedOptions& options, const std::string&, std::vector<std::string>* args) {
         passValue(args, name, std::to_string(options.requestTimeoutSeconds));
     }},
    {"--http-timeout",
     "S",
     {"give up on an adapter that has not finished an HTTP", "answer in S seconds (default 60; 0: no limit): result",
      "not-reachable; the answer to the trigger has no limit", "once the adapter's read request has come"},
     [](const OptionArgument& option, ParseState* state, std::string* error) {
         return parseSeconds(option, &state->options->httpTimeoutSeconds, error);
     },
     [](const char* name, const UnattendedOptions& options, const std::string&, std::vector<std::string>* args) {
         passValue(args, name, std::to_string(options.httpTimeoutSeconds));
     }},
    {"--batch-timeout",
     "S",
     {"cancel every run still going S seconds after the", "batch began, as Ctrl-C would; each adapter still gets",
      "its result (default 0: no limit)"},
     [](const OptionArgument& option, ParseState* state, std::string* error) {
         return parseSeconds(option, &state->options->batchTimeoutSeconds, error);
     },
     nullptr},
    {"--run-timeout",
     "S",
     {"give up on an adapter whose run has not ended in S", "seconds, its waits for a port turn not counted",
      "(default 1800; 0: no limit): result run-timeout"},
     [](const OptionArgument& option, ParseState* state, std::string* error) {
         return parseSeconds(option, &state->options->runTimeoutSeconds, error);
     },
     [](const char* name, const UnattendedOptions& options, const std::string&, std::vector<std::string>* args) {
         passValue(args, name, std::to_string(options.runTimeoutSeconds));
     }},
    {"--port-wait",
     "S",
     {"give up on an adapter whose run has waited S seconds", "for a free listener port (UDP 69-168) or HTTP local",
      "port (TCP 23456-23556), its turn included (default", "300; 0: no limit): result no-free-port"},
     [](const OptionArgument& option, ParseState* state, std::string* error) {
         return parseSeconds(option, &state->options->portWaitSeconds, error);
     },
     [](const char* name, const UnattendedOptions& options, const std::string&, std::vector<std::string>* args) {
         passValue(args, name, std::to_string(options.portWaitSeconds));
     }},
    {"--json",
     nullptr,
     {"one JSON object a line for each step, instead of text"},
     [](const OptionArgument&, ParseState* state, std::string*) { return state->options->json = true; },
     nullptr},
    {"--progress",
     "WHEN",
     {"a status line at the bottom of the terminal: never,", "auto (default: when standard output is a terminal and",
      "--json is not given) or always; with --json it is", "drawn on standard error, and only on a terminal"},
     [](const OptionArgument& option, ParseState* state, std::string* error) {
         using Progress = UnattendedOptions::Progress;
         if (option.value == "never" || option.value == "auto" || option.value == "always") {
             state->options->progress = option.value == "never"  ? Progress::Never
                                        : option.value == "auto" ? Progress::Auto
                                                                 : Progress::Always;
             return true;
         }
         *error = option.name + " takes never, auto or always, not " + quoted(option.value);
         return false;
     },
     nullptr},
    {"--log",
     "FILE",
     {"the trace of each run, appended to FILE (with several", "adapters the address goes before its extension:",
      "orb.A.B.C.D.log); one that cannot be opened is a", "usage error"},
     [](const OptionArgument& option, ParseState* state, std::string* error) {
         if (option.value.empty()) {
             *error = option.name + " needs a file name";
             return false;
         }
         state->options->logPath = option.value;
         return true;
     },
     nullptr},
    // Listed in the program's own options.
    {"--help",
     nullptr,
     {},
     [](const OptionArgument&, ParseState* state, std::string*) { return state->options->help = true; },
     nullptr},
};

const OptionRow* findOption(const std::string& name) {
    for (const OptionRow& row : kOptionRows)
        if (name == row.name) return &row;
    return nullptr;
}

}  // namespace

ParseResult parseUnattendedOptions(const std::vector<std::string>& args, UnattendedOptions* options,
                                   std::string* error) {
    *options = UnattendedOptions{};
    ParseState state{options, {}, {}};
    for (size_t i = 0; i < args.size(); ++i) {
        if (i == 0 && args[i] == "--unattended") continue;
        // An option that takes a value takes it as the next argument or after "=".
        size_t equals = args[i].find('=');
        std::string name = args[i].substr(0, equals);
        const OptionRow* row = findOption(name);
        if (row == nullptr || row->parse == nullptr) {
            *error = "unknown option " + quoted(name);
            return ParseResult::UsageError;
        }
        if (equals != std::string::npos && row->valueName == nullptr) {
            // --password=... is refused by its own row, with why and without the text.
            if (row->parse({.name = name, .value = name}, &state, error)) *error = name + " takes no value";
            return ParseResult::UsageError;
        }
        if (row->valueName != nullptr && equals == std::string::npos && i + 1 >= args.size()) {
            *error = name + " needs a value";
            return ParseResult::UsageError;
        }
        std::string value = row->valueName == nullptr     ? name
                            : equals != std::string::npos ? args[i].substr(equals + 1)
                                                          : args[++i];
        if (!row->parse({.name = name, .value = value}, &state, error)) return ParseResult::UsageError;
    }
    NamedAdapters& adapters = state.adapters;
    const std::vector<std::string>& addressFiles = state.addressFiles;
    if (options->help) return ParseResult::Help;
    for (const std::string& path : addressFiles)
        if (!readAddressesFile(path, &adapters, error)) return ParseResult::UsageError;
    for (const NamedAdapter& named : adapters.list) options->addresses.push_back(named.address);
    if (!options->acceptWarning) {
        *error = "--accept-warning is required: the warning dialog asks for your consent to the upgrade";
        return ParseResult::UsageError;
    }
    if (options->addresses.empty()) {
        *error = "no adapter: give --address A.B.C.D or --addresses-file FILE";
        return ParseResult::UsageError;
    }
    if (options->adapterRun && options->addresses.size() != 1) {
        *error = "--adapter-run takes one address";
        return ParseResult::UsageError;
    }
    // Before any adapter runs: a password that cannot be used would fail
    // every one of them.
    std::string reason;
    if (!options->passwordFile.empty()) {
        if (!readPasswordFile(options->passwordFile, &options->password, &reason)) {
            *error = "--password-file " + options->passwordFile + ": " + reason;
            return ParseResult::UsageError;
        }
    } else if (std::string variable; !options->adapterRun && readEnvironmentVariable(kPasswordVariable, &variable)) {
        // An adapter's run gets the value that its runner took. On Windows
        // the variable is read as characters, so that both sources give the
        // same UTF-8 bytes.
        if (!takePassword(variable, &options->password, &reason)) {
            *error = std::string(kPasswordVariable) + ": " + reason;
            return ParseResult::UsageError;
        }
    }
    return ParseResult::Run;
}

bool takePassword(const std::string& text, std::string* password, std::string* reason) {
    std::string taken = text.compare(0, 3, kByteOrderMark) == 0 ? text.substr(3) : text;
    // One line end, as an editor or a shell's here-string leaves it.
    if (!taken.empty() && taken.back() == '\n') taken.pop_back();
    if (!taken.empty() && taken.back() == '\r') taken.pop_back();
    if (taken.empty()) {
        *reason = "it holds no password";
        return false;
    }
    if (taken.size() > kMaxPasswordBytes) {
        *reason = "the password is longer than " + std::to_string(kMaxPasswordBytes) +
                  " bytes, which the credentials dialog would cut";
        return false;
    }
    // No field of the credentials dialog holds these, and the environment
    // that carries the password to the runs ends at a NUL.
    if (taken.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        *reason = "the password holds a line break or a NUL byte (only one line end at its end is dropped)";
        return false;
    }
    *password = taken;
    return true;
}

bool readPasswordFile(const std::string& path, std::string* password, std::string* reason) {
    // More than the longest password with a byte-order mark, a CRLF and a
    // Ctrl-Z takes, in UTF-16 too: a longer one is told.
    std::string text, why;
    if (!readNamedFile("--password-file", path, kPasswordFileReadBytes, &text, &why)) {
        *reason = "cannot read it: " + why;
        return false;
    }
    return takePassword(textOfFile(text), password, reason);
}

std::string adapterLogPath(const UnattendedOptions& options, const std::string& address) {
    if (options.logPath.empty() || options.addresses.size() == 1) return options.logPath;
    // The address goes before the extension, which the file keeps
    // (orb.log: orb.10.1.0.8.log), so that it still opens as it did.
    const std::string& path = options.logPath;
    size_t name = path.find_last_of("/\\");
    name = name == std::string::npos ? 0 : name + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= name) return path + "." + address;
    return path.substr(0, dot) + "." + address + path.substr(dot);
}

bool checkLogFiles(const UnattendedOptions& options, std::string* error) {
    for (const std::string& address : options.addresses) {
        std::string path = adapterLogPath(options, address);
        if (path.empty()) return true;
        std::string reason;
        LogFileHandle file = openLogFile(path.c_str(), &reason);
        if (file == kNoLogFile) {
            *error = options.logSource + " " + options.logPath + ": cannot append to " + path + ": " + reason;
            return false;
        }
        closeLogFile(file);
    }
    return true;
}

std::vector<std::string> adapterRunArguments(const UnattendedOptions& options, const std::string& address) {
    std::vector<std::string> args;
    for (const OptionRow& row : kOptionRows)
        if (row.passOn != nullptr) row.passOn(row.name, options, address, &args);
    return args;
}

std::vector<std::string> unattendedHelpLines() {
    std::vector<std::string> lines;
    for (const OptionRow& row : kOptionRows) {
        std::string head =
            std::string("  ") + row.name + (row.valueName != nullptr ? std::string(" ") + row.valueName : "");
        for (const char* text : row.help) {
            if (text == nullptr) break;
            head.resize(26, ' ');
            lines.push_back(head + text);
            head.clear();
        }
    }
    lines.insert(lines.end(), {
                                  "  Each usage error is found before any adapter runs.",
                                  "  Exit status: 0 all run the embedded version now; 2 usage error; with one",
                                  "  adapter 3 not reachable, 4 authentication refused, 5 upload incomplete, 6 no",
                                  "  answer after the upload or another version, 7 cancelled (SIGINT, SIGTERM,",
                                  "  SIGHUP), 8 other failure or no free port, 9 no read request, 10 (--check)",
                                  "  it would be upgraded, 11 the run passed --run-timeout; with several adapters",
                                  "  1 when any failed, else 10 when any would be upgraded.",
                              });
    return lines;
}

}  // namespace orb::unattended
