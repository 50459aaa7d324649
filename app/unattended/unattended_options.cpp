#include "app/unattended/unattended_options.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/log_file.h"
#include "base/ipv4_text.h"
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

// Up to `limit` bytes from the start of the file; false with the system's
// reason (a directory opens, and fails at the first read).
bool readFileStart(const std::string& path, size_t limit, std::string* text, std::string* reason) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *reason = std::strerror(errno);
        return false;
    }
    char buffer[4096];
    while (text->size() < limit) {
        size_t want = std::min(sizeof buffer, limit - text->size());
        size_t got = std::fread(buffer, 1, want, file);
        text->append(buffer, got);
        if (got < want) break;
    }
    int failure = std::ferror(file) != 0 ? errno : 0;
    std::fclose(file);
    if (failure != 0) {
        *reason = std::strerror(failure);
        return false;
    }
    return true;
}

bool readAddressesFile(const std::string& path, NamedAdapters* adapters, std::string* error) {
    std::string text, reason;
    if (!readFileStart(path, std::string::npos, &text, &reason)) {
        *error = "cannot read the addresses file " + path + ": " + reason;
        return false;
    }
    return addAdaptersFromText(text, path, adapters, error);
}

constexpr char kByteOrderMark[] = "\xef\xbb\xbf";

}  // namespace

bool parseDottedQuad(const std::string& text, uint32_t* address) {
    uint32_t value = 0;
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.') return false;
            ++pos;
        }
        size_t start = pos;
        unsigned number = 0;
        while (pos < text.size() && pos - start < 4 && text[pos] >= '0' && text[pos] <= '9')
            number = number * 10 + static_cast<unsigned>(text[pos++] - '0');
        if (pos == start || pos - start > 3 || number > 255) return false;
        value = value << 8 | number;
    }
    if (pos != text.size()) return false;
    *address = value;
    return true;
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

ParseResult parseUnattendedOptions(const std::vector<std::string>& args, UnattendedOptions* options,
                                   std::string* error) {
    *options = UnattendedOptions{};
    NamedAdapters adapters;
    std::vector<std::string> addressFiles;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (i == 0 && name == "--unattended") continue;
        if (name == "--help") {
            options->help = true;
            continue;
        }
        if (name == "--accept-warning") {
            options->acceptWarning = true;
            continue;
        }
        if (name == "--json") {
            options->json = true;
            continue;
        }
        if (name == "--check" || name == "--force") {
            (name == "--check" ? options->check : options->force) = true;
            continue;
        }
        if (name == "--adapter-run") {
            options->adapterRun = true;
            continue;
        }
        if (name == "--password") {
            *error = "the password is never taken from the command line: use --password-file FILE or ORB_PASSWORD";
            return ParseResult::UsageError;
        }
        bool takesValue = name == "--address" || name == "--addresses-file" || name == "--pc-address" ||
                          name == "--user" || name == "--password-file" || name == "--parallel" || name == "--log" ||
                          name == "--request-timeout" || name == "--http-timeout";
        if (!takesValue) {
            *error = "unknown option " + quoted(name);
            return ParseResult::UsageError;
        }
        if (i + 1 >= args.size()) {
            *error = name + " needs a value";
            return ParseResult::UsageError;
        }
        const std::string& value = args[++i];
        if (name == "--address") {
            if (!addAdapter(value, "--address", &adapters, error)) return ParseResult::UsageError;
        } else if (name == "--addresses-file") {
            addressFiles.push_back(value);
        } else if (name == "--pc-address") {
            uint32_t pcAddress = 0;
            if (!parseDottedQuad(value, &pcAddress)) {
                *error = "--pc-address: " + quoted(value) + " is not an IPv4 address";
                return ParseResult::UsageError;
            }
            // Compared with the addresses the dialog offers, which have no
            // leading zeros.
            options->pcAddress = formatIPv4(pcAddress);
        } else if (name == "--user") {
            options->user = value;
        } else if (name == "--password-file") {
            options->passwordFile = value;
        } else if (name == "--parallel") {
            if (!parseCount(value, &options->parallel) || options->parallel < 1 || options->parallel > kMaxParallel) {
                *error = "--parallel takes a number from 1 to " + std::to_string(kMaxParallel);
                return ParseResult::UsageError;
            }
        } else if (name == "--request-timeout" || name == "--http-timeout") {
            int* seconds = name == "--request-timeout" ? &options->requestTimeoutSeconds : &options->httpTimeoutSeconds;
            if (!parseCount(value, seconds) || *seconds < 0 || *seconds > kMaxTimeoutSeconds) {
                *error = name + " takes a number of seconds from 0 (no limit) to " + std::to_string(kMaxTimeoutSeconds);
                return ParseResult::UsageError;
            }
        } else if (name == "--log") {
            if (value.empty()) {
                *error = "--log needs a file name";
                return ParseResult::UsageError;
            }
            options->logPath = value;
        }
    }
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
    } else if (const char* variable = std::getenv(kPasswordVariable); variable != nullptr && !options->adapterRun) {
        // An adapter's run gets the value that its runner took.
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
    // One byte more than the longest password with a byte-order mark and a
    // CRLF tells a longer one.
    std::string text, why;
    if (!readFileStart(path, 3 + kMaxPasswordBytes + 2 + 1, &text, &why)) {
        *reason = "cannot read it: " + why;
        return false;
    }
    return takePassword(text, password, reason);
}

std::string adapterLogPath(const UnattendedOptions& options, const std::string& address) {
    if (options.logPath.empty()) return {};
    return options.addresses.size() > 1 ? options.logPath + "." + address : options.logPath;
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
    std::vector<std::string> args = {"--unattended", "--adapter-run", "--accept-warning", "--address", address};
    if (!options.pcAddress.empty()) {
        args.push_back("--pc-address");
        args.push_back(options.pcAddress);
    }
    if (!options.user.empty()) {
        args.push_back("--user");
        args.push_back(options.user);
    }
    args.insert(args.end(), {"--request-timeout", std::to_string(options.requestTimeoutSeconds), "--http-timeout",
                             std::to_string(options.httpTimeoutSeconds)});
    if (options.check) args.push_back("--check");
    if (options.force) args.push_back("--force");
    return args;
}

std::vector<std::string> unattendedHelpLines() {
    return {
        "  --unattended            upgrade without a person: answer every dialog from the",
        "                          options below",
        "  --accept-warning        required with --unattended: accept the warning about",
        "                          upgrading without your service provider's approval",
        "  --address A.B.C.D       an adapter to upgrade (repeatable). Numbers are",
        "                          decimal (010.1.0.8 is 10.1.0.8); an adapter named",
        "                          twice, 0.0.0.0 and 255.255.255.255 are refused",
        "  --addresses-file FILE   adapters to upgrade, one address a line; '#' starts a",
        "                          comment; blanks, CRLF and a UTF-8 byte-order mark are",
        "                          ignored; an error names FILE:LINE",
        "  --pc-address A.B.C.D    this computer's address that the adapters fetch the",
        "                          image from (one of the addresses the dialog offers;",
        "                          default: its first)",
        "  --user NAME             the administrator's name (default: admin)",
        "  --password-file FILE    the password (1 to 126 bytes; a UTF-8 byte-order mark",
        "                          and one line end at its end are dropped); else the",
        "                          variable ORB_PASSWORD, taken the same way. A refused",
        "                          password is not retried",
        "  --check                 only read each adapter's status page and say whether",
        "                          it runs the embedded version; nothing is triggered",
        "                          (exit 0: all current, 10: some would be upgraded)",
        "  --force                 upgrade also the adapters that already run the",
        "                          embedded version (without it they end as current,",
        "                          untouched)",
        "  --parallel N            upgrade up to N adapters at once (1 to 100, default 4)",
        "  --request-timeout S     give up on an adapter whose read request has not come",
        "                          S seconds after the trigger (default 120; 0: no",
        "                          limit): result no-request",
        "  --http-timeout S        give up on an adapter that has not finished an HTTP",
        "                          answer in S seconds (default 60; 0: no limit): result",
        "                          not-reachable",
        "  --json                  one JSON object a line for each step, instead of text",
        "  --log FILE              the trace of each run, appended to FILE (FILE.A.B.C.D",
        "                          with several adapters); one that cannot be opened is a",
        "                          usage error",
        "  Each usage error is found before any adapter runs.",
        "  Exit status: 0 all run the embedded version now; 2 usage error; with one",
        "  adapter 3 not reachable, 4 authentication refused, 5 upload incomplete, 6 no",
        "  answer after the upload or another version, 7 cancelled (SIGINT, SIGTERM,",
        "  SIGHUP), 8 other failure, 9 no read request, 10 (--check) it would be",
        "  upgraded; with several adapters 1 when any failed, else 10 when any would be",
        "  upgraded.",
    };
}

}  // namespace orb::unattended
