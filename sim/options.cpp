#include "sim/options.h"

#include <functional>

#include "web/status_page_fields.h"
#include "sim/fleet.h"

namespace orb::sim {

namespace {

// A whole decimal number in [low, high].
bool parseNumber(const std::string& text, uint64_t low, uint64_t high, uint64_t* value) {
    if (text.empty() || text.size() > 19) return false;
    uint64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        result = result * 10 + static_cast<uint64_t>(c - '0');
    }
    if (result < low || result > high) return false;
    *value = result;
    return true;
}

bool parseNumberList(const std::string& text, uint64_t low, std::set<uint64_t>* values) {
    size_t at = 0;
    while (at <= text.size()) {
        size_t comma = text.find(',', at);
        if (comma == std::string::npos) comma = text.size();
        uint64_t value = 0;
        if (!parseNumber(text.substr(at, comma - at), low, UINT64_MAX / 10, &value)) return false;
        values->insert(value);
        at = comma + 1;
    }
    return true;
}

bool parsePercent(const std::string& text, double* value) {
    // Digits with at most one decimal point, 0..100.
    if (text.empty() || text.size() > 12) return false;
    int points = 0;
    for (char c : text) {
        if (c == '.') {
            ++points;
        } else if (c < '0' || c > '9') {
            return false;
        }
    }
    if (points > 1 || text == ".") return false;
    double result = std::stod(text);
    if (result < 0 || result > 100) return false;
    *value = result;
    return true;
}

struct Option {
    const char* name;      // without the leading "--"
    const char* argument;  // nullptr: a flag without a value
    std::string help;      // what it does, and its default
    // Applies the value; false when the value is not acceptable.
    std::function<bool(const std::string&, SimConfig*)> apply;
};

// The help of an option that sets a value of the status page.
std::string fieldHelp(StatusField field, const char* more = "") {
    const StatusPageField& row = statusPageField(field);
    return std::string("value after \"") + row.label + "\"" + more + " (default " + row.simDefault + ")";
}

bool asMilliseconds(const std::string& text, int* value) {
    uint64_t number = 0;
    if (!parseNumber(text, 0, 86400000, &number)) return false;
    *value = static_cast<int>(number);
    return true;
}

// The table of options, in the order --help lists them, a group at a time.

std::vector<Option> placeOptions() {
    return {
        {"address", "A.B.C.D",
         "IPv4 address to take the adapter's place on, the first adapter's with --count (default 127.0.0.1)",
         [](const std::string& v, SimConfig* c) { return parseDottedQuad(v, &c->address); }},
        {"http-port", "PORT", "TCP port of the web server (default 80; below 1024 needs root or CAP_NET_BIND_SERVICE)",
         [](const std::string& v, SimConfig* c) {
             uint64_t port = 0;
             if (!parseNumber(v, 1, 65535, &port)) return false;
             c->httpPort = static_cast<uint16_t>(port);
             return true;
         }},
        {"count", "N",
         "play N adapters (1 to 100000, default 1) on consecutive addresses from --address, leaving out those that "
         "end in 0 or 255; all in 127.0.0.0/8 when N is above 1. Adapter i (from 0) has the serial number and MAC "
         "address plus i; every other option applies to each adapter",
         [](const std::string& v, SimConfig* c) {
             uint64_t n = 0;
             if (!parseNumber(v, 1, kMaxFleetSize, &n)) return false;
             c->count = static_cast<unsigned>(n);
             return true;
         }},
    };
}

// What the status page shows.
std::vector<Option> statusPageOptions() {
    return {
        {"product-name", "TEXT", fieldHelp(StatusField::ProductName),
         [](const std::string& v, SimConfig* c) {
             c->identity.productName = v;
             return true;
         }},
        {"mac", "TEXT", fieldHelp(StatusField::MacAddress),
         [](const std::string& v, SimConfig* c) {
             c->identity.macAddress = v;
             return true;
         }},
        {"software-version", "TEXT", fieldHelp(StatusField::SoftwareVersion, " until an upgrade replaces it"),
         [](const std::string& v, SimConfig* c) {
             c->identity.softwareVersion = v;
             return true;
         }},
        {"hardware-version", "TEXT", fieldHelp(StatusField::HardwareVersion),
         [](const std::string& v, SimConfig* c) {
             c->identity.hardwareVersion = v;
             return true;
         }},
        {"serial", "TEXT", fieldHelp(StatusField::SerialNumber),
         [](const std::string& v, SimConfig* c) {
             c->identity.serialNumber = v;
             return true;
         }},
    };
}

std::vector<Option> digestOptions() {
    return {
        {"user", "NAME",
         "demand HTTP Digest authentication for every path, with this user name (default: no authentication)",
         [](const std::string& v, SimConfig* c) {
             c->authEnabled = true;
             c->digest.user = v;
             return true;
         }},
        {"password", "TEXT", "the password that goes with --user (default empty)",
         [](const std::string& v, SimConfig* c) {
             c->digest.password = v;
             return true;
         }},
        {"realm", "TEXT", "realm of the challenge (default \"ORB Admin\")",
         [](const std::string& v, SimConfig* c) {
             if (v.find('"') != std::string::npos) return false;
             c->digest.realm = v;
             return true;
         }},
        {"algorithm", "ALG",
         "MD5, MD5-sess or none (no algorithm directive); written in the challenge as typed (default MD5)",
         [](const std::string& v, SimConfig* c) {
             if (!parseDigestAlgorithm(v, &c->digest.algorithm)) return false;
             c->digest.algorithmText = v;
             return true;
         }},
        {"qop", "LIST",
         "auth, auth-int, a list such as auth,auth-int, or none (no qop directive); written as typed (default auth)",
         [](const std::string& v, SimConfig* c) {
             std::string text = v == "none" ? std::string() : v;
             std::vector<std::string> parts;
             if (!splitQopOptions(text, &parts)) return false;
             c->digest.qopText = text;
             return true;
         }},
        {"opaque", "TEXT", "opaque value of the challenge, which the client must return (default: none)",
         [](const std::string& v, SimConfig* c) {
             if (v.find('"') != std::string::npos) return false;
             c->digest.opaque = v;
             return true;
         }},
        {"nonce", "POLICY",
         "fixed: one nonce until the next restart; new: a new nonce with every challenge (default fixed). "
         "Every nonce handed out since the last restart stays valid; a restart makes all of them stale",
         [](const std::string& v, SimConfig* c) {
             if (v == "fixed") {
                 c->noncePolicy = NoncePolicy::Fixed;
             } else if (v == "new") {
                 c->noncePolicy = NoncePolicy::New;
             } else {
                 return false;
             }
             return true;
         }},
        {"seed", "N", "seed of the nonces and of the percent faults, for repeatable runs (default: from the clock)",
         [](const std::string& v, SimConfig* c) {
             c->seedGiven = true;
             return parseNumber(v, 0, UINT64_MAX / 10, &c->seed);
         }},
    };
}

std::vector<Option> upgradeOptions() {
    return {
        {"restart-ms", "MS",
         "after accepting an image, refuse connections this long before coming back with its version (default 10000)",
         [](const std::string& v, SimConfig* c) { return asMilliseconds(v, &c->restartMs); }},
        {"stay-down", nullptr, "after accepting an image, never come back",
         [](const std::string&, SimConfig* c) {
             c->stayDown = true;
             return true;
         }},
        {"version-after-restart", "TEXT",
         "after accepting an image, report this software version instead of the image's (a faulty flash)",
         [](const std::string& v, SimConfig* c) {
             c->versionAfterRestart = v;
             return !v.empty();
         }},
        {"restart-without-version", nullptr,
         std::string("after a restart, show the status page without its \"") +
             statusPageField(StatusField::SoftwareVersion).label + "\" row",
         [](const std::string&, SimConfig* c) {
             c->restartWithoutVersion = true;
             return true;
         }},
        {"save-image", "PATH", "write every image received in full to this file",
         [](const std::string& v, SimConfig* c) {
             c->saveImagePath = v;
             return !v.empty();
         }},
        {"magic", "TEXT", "magic that an image must begin with (default \"OrB4100 FiRmWaRe\")",
         [](const std::string& v, SimConfig* c) {
             if (v.empty() || v.size() > kVersionOffset) return false;
             c->magic = v;
             return true;
         }},
        {"tftp-timeout-ms", "MS",
         "TFTP client's wait for an answer before it resends (default: the server's timeout option, else 5000)",
         [](const std::string& v, SimConfig* c) {
             return asMilliseconds(v, &c->tftpTimeoutMs) && c->tftpTimeoutMs > 0;
         }},
        {"tftp-retries", "N", "resends after time-outs before the TFTP client gives up (default 5)",
         [](const std::string& v, SimConfig* c) {
             uint64_t n = 0;
             if (!parseNumber(v, 0, 1000, &n)) return false;
             c->tftpRetries = static_cast<int>(n);
             return true;
         }},
        {"quiet-blocks", nullptr, "log no line for each DATA block and ACK that go as they should",
         [](const std::string&, SimConfig* c) {
             c->logBlocks = false;
             return true;
         }},
    };
}

std::vector<Option> tftpFaultOptions() {
    return {
        {"drop-ack", "N[,N...]",
         "lose the Nth ACK packet of the transfer (1 = the ACK 0 of the OACK; resent ACKs count too)",
         [](const std::string& v, SimConfig* c) { return parseNumberList(v, 1, &c->faults.dropAcks); }},
        {"drop-ack-percent", "P", "lose each ACK packet with probability P percent (0..100; see --seed)",
         [](const std::string& v, SimConfig* c) { return parsePercent(v, &c->faults.dropAckPercent); }},
        {"drop-data", "K[,K...]", "ignore the first arrival of DATA block K, as if it had been lost",
         [](const std::string& v, SimConfig* c) { return parseNumberList(v, 1, &c->faults.dropData); }},
        {"duplicate-acks", nullptr, "send every ACK packet twice",
         [](const std::string&, SimConfig* c) {
             c->faults.duplicateAcks = true;
             return true;
         }},
        {"stop-after-blocks", "N",
         "acknowledge the OACK and DATA blocks 1..N, then nothing more: the client goes quiet and gives up",
         [](const std::string& v, SimConfig* c) {
             uint64_t n = 0;
             if (!parseNumber(v, 0, UINT32_MAX, &n)) return false;
             c->faults.stopAfterBlocks = static_cast<int64_t>(n);
             return true;
         }},
        {"ignore-oack", nullptr, "never acknowledge the OACK",
         [](const std::string&, SimConfig* c) {
             c->faults.ignoreOack = true;
             return true;
         }},
        {"tftp-delay-ms", "MS", "hold every ACK packet this long before sending it",
         [](const std::string& v, SimConfig* c) { return asMilliseconds(v, &c->tftpDelayMs); }},
        {"drop-data-percent", "P",
         "lose each datagram that arrives from the TFTP server (OACK, DATA) with probability P percent (0..100; "
         "see --seed)",
         [](const std::string& v, SimConfig* c) { return parsePercent(v, &c->faults.dropDataPercent); }},
        {"corrupt-ack-percent", "P",
         "send each ACK packet with probability P percent with a wrong block number instead of the right one "
         "(0..100; see --seed)",
         [](const std::string& v, SimConfig* c) { return parsePercent(v, &c->faults.corruptAckPercent); }},
        {"ack-echo-ms", "MS",
         "send every ACK packet once more MS later, so that old ACKs arrive after newer ones (duplicated and "
         "reordered)",
         [](const std::string& v, SimConfig* c) { return asMilliseconds(v, &c->faults.ackEchoMs); }},
        {"pause-after-block", "K",
         "once DATA block K has arrived, send nothing for --pause-ms (the held packets go out afterwards)",
         [](const std::string& v, SimConfig* c) {
             uint64_t n = 0;
             if (!parseNumber(v, 1, UINT32_MAX, &n)) return false;
             c->pauseAfterBlock = static_cast<int64_t>(n);
             return true;
         }},
        {"pause-ms", "MS", "how long --pause-after-block pauses (default 2000)",
         [](const std::string& v, SimConfig* c) { return asMilliseconds(v, &c->pauseMs); }},
    };
}

std::vector<Option> httpFaultOptions() {
    return {
        {"fetch-delay-ms", "MS", "start the TFTP fetch this long after the trigger request (default 0)",
         [](const std::string& v, SimConfig* c) { return asMilliseconds(v, &c->fetchDelayMs); }},
        {"http-delay-ms", "MS", "wait this long before answering a request (see --http-delay-on)",
         [](const std::string& v, SimConfig* c) { return asMilliseconds(v, &c->httpDelayMs); }},
        {"http-delay-on", "TARGETS", "requests that --http-delay-ms delays (default all)",
         [](const std::string& v, SimConfig* c) { return parseHttpTargets(v, &c->httpDelayTargets); }},
        {"no-answer", "TARGETS",
         "accept these requests and never answer them (the connection stays open until the client closes it)",
         [](const std::string& v, SimConfig* c) { return parseHttpTargets(v, &c->noAnswer); }},
        {"close-without-answer", "TARGETS", "read these requests, then close the connection without a byte",
         [](const std::string& v, SimConfig* c) { return parseHttpTargets(v, &c->closeWithoutAnswer); }},
        {"fetch-without-answer", "yes|no",
         "whether a trigger left unanswered by --no-answer or --close-without-answer still starts the TFTP fetch "
         "(default yes)",
         [](const std::string& v, SimConfig* c) {
             if (v != "yes" && v != "no") return false;
             c->fetchWithoutAnswer = v == "yes";
             return true;
         }},
        {"help", nullptr, "print this text and exit", [](const std::string&, SimConfig*) { return true; }},
    };
}

const std::vector<Option>& options() {
    static const std::vector<Option> table = [] {
        std::vector<Option> all;
        for (auto group :
             {placeOptions, statusPageOptions, digestOptions, upgradeOptions, tftpFaultOptions, httpFaultOptions}) {
            std::vector<Option> part = group();
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    }();
    return table;
}

}  // namespace

bool parseHttpTargets(const std::string& text, HttpTargets* targets) {
    HttpTargets result;
    size_t at = 0;
    while (at <= text.size()) {
        size_t comma = text.find(',', at);
        if (comma == std::string::npos) comma = text.size();
        std::string word = text.substr(at, comma - at);
        if (word == "all") {
            result.all = true;
        } else if (word == "status") {
            result.status = true;
        } else if (word == "trigger") {
            result.trigger = true;
        } else if (word == "after-restart") {
            result.afterRestart = true;
        } else {
            return false;
        }
        at = comma + 1;
    }
    *targets = result;
    return true;
}

std::vector<std::string> optionNames() {
    std::vector<std::string> names;
    for (const Option& option : options()) names.push_back(std::string("--") + option.name);
    return names;
}

ParseOutcome parseOptions(const std::vector<std::string>& args, SimConfig* config, std::string* error) {
    SimConfig result;
    bool delayTargetsGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0 || arg.size() == 2) {
            *error = "unexpected argument '" + arg + "' (options begin with --; see --help)";
            return ParseOutcome::Error;
        }
        size_t equals = arg.find('=');
        std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        const Option* found = nullptr;
        for (const Option& option : options()) {
            if (name == option.name) found = &option;
        }
        if (found == nullptr) {
            *error = "unknown option --" + name + " (see --help)";
            return ParseOutcome::Error;
        }
        if (name == "help") return ParseOutcome::Help;
        std::string value;
        if (found->argument == nullptr) {
            if (equals != std::string::npos) {
                *error = "--" + name + " takes no value";
                return ParseOutcome::Error;
            }
        } else if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            *error = "--" + name + " needs a value: " + found->argument;
            return ParseOutcome::Error;
        }
        if (!found->apply(value, &result)) {
            *error =
                "bad value '" + value + "' for --" + name + " (expected " + found->argument + ": " + found->help + ")";
            return ParseOutcome::Error;
        }
        if (name == "http-delay-on") delayTargetsGiven = true;
    }
    if (!delayTargetsGiven) result.httpDelayTargets.all = true;
    if (!result.authEnabled && !result.digest.password.empty()) {
        *error = "--password needs --user";
        return ParseOutcome::Error;
    }
    if (result.faults.ignoreOack && result.faults.stopAfterBlocks >= 0) {
        *error = "--ignore-oack and --stop-after-blocks exclude each other";
        return ParseOutcome::Error;
    }
    if (!checkFleetRange(result.address, result.count, error)) return ParseOutcome::Error;
    *config = result;
    return ParseOutcome::Run;
}

std::string helpText() {
    std::string text =
        "Usage: orb-sim [OPTION...]\n"
        "Takes an ORB adapter's place on one IPv4 address: its web server (status page, Digest\n"
        "authentication, upgrade trigger) and its TFTP client. With --count N it plays N adapters\n"
        "at once, each on its own address. It logs every event as one line on standard output\n"
        "(event=NAME key=value ...; with --count above 1 each line of an adapter carries\n"
        "adapter=A.B.C.D) and stops cleanly on SIGINT or SIGTERM.\n"
        "Options take their value as --name=VALUE or --name VALUE.\n\n";
    for (const Option& option : options()) {
        std::string head = std::string("  --") + option.name;
        if (option.argument != nullptr) head += std::string("=") + option.argument;
        text += head;
        text += head.size() < 30 ? std::string(30 - head.size(), ' ') : std::string("\n") + std::string(30, ' ');
        // The description, wrapped at 100 columns under its own column.
        std::string help = option.help;
        size_t column = 30;
        size_t at = 0;
        while (at < help.size()) {
            size_t space = help.find(' ', at);
            if (space == std::string::npos) space = help.size();
            std::string word = help.substr(at, space - at);
            if (column > 30 && column + 1 + word.size() > 100) {
                text += "\n" + std::string(30, ' ');
                column = 30;
            } else if (column > 30) {
                text += ' ';
                ++column;
            }
            text += word;
            column += word.size();
            at = space + 1;
        }
        text += "\n";
    }
    text +=
        "\nTARGETS is a comma-separated list of: all, status (/admin/advanced), trigger\n"
        "(/admin/upgrade), after-restart (every request once the adapter has restarted).\n"
        "\nExit status: 0 after SIGINT or SIGTERM, 1 when the address or port cannot be bound\n"
        "or the web server cannot come back after a restart, 2 for a bad command line.\n";
    return text;
}

}  // namespace orb::sim
