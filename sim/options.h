// orb-sim's command line: every setting of the simulated adapter and every
// fault it can inject.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/device_pages.h"
#include "sim/digest_server.h"
#include "sim/firmware_check.h"
#include "sim/tftp_fetch.h"

namespace orb::sim {

enum class NoncePolicy {
    Fixed,  // one nonce from start (or restart) to restart
    New,    // a new nonce with every challenge
};

// Which requests an HTTP fault applies to; any matching part is enough.
struct HttpTargets {
    bool all = false;
    bool status = false;        // "/admin/advanced"
    bool trigger = false;       // "/admin/upgrade"
    bool afterRestart = false;  // any request once the adapter has restarted
    bool any() const { return all || status || trigger || afterRestart; }
};

struct SimConfig {
    uint32_t address = 0x7f000001;  // host order; 127.0.0.1 (the first adapter's)
    uint16_t httpPort = 80;
    unsigned count = 1;  // adapters, on consecutive addresses (see sim/fleet.h)
    DeviceIdentity identity;

    bool authEnabled = false;  // set by --user
    DigestSettings digest;
    NoncePolicy noncePolicy = NoncePolicy::Fixed;

    uint64_t seed = 0;
    bool seedGiven = false;

    int restartMs = 10000;
    bool stayDown = false;
    std::string versionAfterRestart;     // empty: the accepted image's version
    bool restartWithoutVersion = false;  // after a restart the page lacks the software version's row
    std::string saveImagePath;
    std::string magic = kFirmwareMagic;

    int tftpTimeoutMs = 0;  // 0: the server's timeout option, or 5 s
    int tftpRetries = 5;
    bool logBlocks = true;
    TftpFaults faults;
    int tftpDelayMs = 0;
    // At least 0: once DATA block pauseAfterBlock has arrived, the adapter
    // sends nothing for pauseMs (what it has to send goes out afterwards).
    int64_t pauseAfterBlock = -1;
    int pauseMs = 2000;
    // The TFTP fetch starts this long after the trigger request.
    int fetchDelayMs = 0;

    int httpDelayMs = 0;
    HttpTargets httpDelayTargets;  // --http-delay-on; all when not given
    HttpTargets noAnswer;
    HttpTargets closeWithoutAnswer;
    bool fetchWithoutAnswer = true;  // an unanswered trigger still starts the fetch
};

enum class ParseOutcome { Run, Help, Error };

// Reads the arguments after the program name. On Error, `error` is one line.
ParseOutcome parseOptions(const std::vector<std::string>& args, SimConfig* config, std::string* error);

// The text that --help prints: every option with its argument and default.
std::string helpText();

// The names of all options, "--address" and so on.
std::vector<std::string> optionNames();

// "all", "status", "trigger", "after-restart", comma-separated.
bool parseHttpTargets(const std::string& text, HttpTargets* targets);

}  // namespace orb::sim
