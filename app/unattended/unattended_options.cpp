#include "app/unattended/unattended_options.h"

#include <algorithm>
#include <fstream>

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

std::string trimmed(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return {};
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

bool addAddress(const std::string& address, UnattendedOptions* options, std::string* error) {
    if (!isDottedQuad(address)) {
        *error = "not an IPv4 address: \"" + address + "\"";
        return false;
    }
    if (std::find(options->addresses.begin(), options->addresses.end(), address) != options->addresses.end()) {
        *error = "the address " + address + " is given twice";
        return false;
    }
    options->addresses.push_back(address);
    return true;
}

bool readAddressesFile(const std::string& path, UnattendedOptions* options, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        *error = "cannot read the addresses file " + path;
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        std::string address = trimmed(line);
        if (address.empty() || address[0] == '#') continue;
        if (!addAddress(address, options, error)) {
            *error += " (in " + path + ")";
            return false;
        }
    }
    return true;
}

}  // namespace

bool isDottedQuad(const std::string& text) {
    int parts = 0;
    size_t pos = 0;
    while (parts < 4) {
        size_t end = pos;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
        if (end == pos || end - pos > 3) return false;
        if (std::stoi(text.substr(pos, end - pos)) > 255) return false;
        ++parts;
        if (parts == 4) return end == text.size();
        if (end >= text.size() || text[end] != '.') return false;
        pos = end + 1;
    }
    return false;
}

ParseResult parseUnattendedOptions(const std::vector<std::string>& args, UnattendedOptions* options,
                                   std::string* error) {
    *options = UnattendedOptions{};
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
        if (name == "--adapter-run") {
            options->adapterRun = true;
            continue;
        }
        if (name == "--password") {
            *error = "the password is never taken from the command line: use --password-file FILE or ORB_PASSWORD";
            return ParseResult::UsageError;
        }
        bool takesValue = name == "--address" || name == "--addresses-file" || name == "--pc-address" ||
                          name == "--user" || name == "--password-file" || name == "--parallel" || name == "--log";
        if (!takesValue) {
            *error = "unknown option \"" + name + "\"";
            return ParseResult::UsageError;
        }
        if (i + 1 >= args.size()) {
            *error = name + " needs a value";
            return ParseResult::UsageError;
        }
        const std::string& value = args[++i];
        if (name == "--address") {
            if (!addAddress(value, options, error)) return ParseResult::UsageError;
        } else if (name == "--addresses-file") {
            addressFiles.push_back(value);
        } else if (name == "--pc-address") {
            if (!isDottedQuad(value)) {
                *error = "not an IPv4 address: \"" + value + "\"";
                return ParseResult::UsageError;
            }
            options->pcAddress = value;
        } else if (name == "--user") {
            options->user = value;
        } else if (name == "--password-file") {
            options->passwordFile = value;
        } else if (name == "--parallel") {
            if (!parseCount(value, &options->parallel) || options->parallel < 1 || options->parallel > kMaxParallel) {
                *error = "--parallel takes a number from 1 to " + std::to_string(kMaxParallel);
                return ParseResult::UsageError;
            }
        } else if (name == "--log") {
            options->logPath = value;
        }
    }
    if (options->help) return ParseResult::Help;
    for (const std::string& path : addressFiles)
        if (!readAddressesFile(path, options, error)) return ParseResult::UsageError;
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
    return ParseResult::Run;
}

bool readPasswordFile(const std::string& path, std::string* password) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    *password = line;
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
    return args;
}

std::vector<std::string> unattendedHelpLines() {
    return {
        "  --unattended            upgrade without a person: answer every dialog from the options below",
        "  --accept-warning        required with --unattended: accept the warning about upgrading without",
        "                          your service provider's approval",
        "  --address A.B.C.D       an adapter to upgrade (repeatable)",
        "  --addresses-file FILE   adapters to upgrade, one address a line ('#' starts a comment)",
        "  --pc-address A.B.C.D    this computer's address that the adapters fetch the image from",
        "                          (one of the addresses the dialog offers; default: its first)",
        "  --user NAME             the administrator's name (default: admin)",
        "  --password-file FILE    the password, the file's first line; else the variable ORB_PASSWORD.",
        "                          A refused password is not retried",
        "  --parallel N            upgrade up to N adapters at once (1 to 32, default 4)",
        "  --json                  one JSON object a line for each step, instead of text",
        "  --log FILE              the trace of each run to FILE (FILE.A.B.C.D with several adapters)",
        "  Exit status: 0 all upgraded to the embedded version; 2 usage error; with one adapter 3 not",
        "  reachable, 4 authentication refused, 5 upload incomplete, 6 no answer after the upload or",
        "  another version, 7 cancelled (SIGINT, SIGTERM), 8 other failure; with several adapters 1.",
    };
}

}  // namespace orb::unattended
