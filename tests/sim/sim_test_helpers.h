// What the orb-sim tests play on the other side: the upgrade utility's HTTP
// requests and Digest header (written here by hand from the utility's rules,
// not taken from its code), and a small scripted TFTP server that serves an
// image the way the utility's transfer does.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_images.h"

namespace orb::test {

// --- HTTP -----------------------------------------------------------------

struct HttpResult {
    bool connected = false;
    bool refused = false;   // the connection was refused (nothing listens)
    bool timedOut = false;  // no close from the server in time
    std::string response;   // everything received until the close
};

// One exchange: connect, send `request` as it is, read until the server
// closes.
HttpResult rawHttp(uint32_t address, uint16_t port, const std::string& request, int timeoutMs = 3000);

// The request as the utility writes it: request line, the fixed Host line,
// the Authorization line when given (with its CR LF), the empty line.
std::string utilityRequest(const std::string& path, const std::string& authorizationLine = "");

int statusOf(const std::string& response);

// The challenge as the utility reads it: the first realm=", nonce=", ... in
// the whole text, each value up to the next double quote.
struct UtilityChallenge {
    bool taken = false;  // realm and nonce found
    std::string realm, nonce, algorithm, qop, opaque;
};
UtilityChallenge readChallengeLikeUtility(const std::string& response);

// The Authorization line (with CR LF) as the utility builds it: empty uri,
// nine-digit nc, algorithm always present and quoted, qop and nc unquoted,
// no blanks after the commas; MD5-sess hashes the raw 16 bytes of
// MD5(user:realm:password).
std::string utilityAuthorizationLine(const std::string& user, const std::string& password,
                                     const UtilityChallenge& challenge, uint32_t nc, const std::string& cnonce);

// The value after `label` as the utility scrapes it: past the tags that
// follow, up to the next "<". Empty when the label is missing.
std::string scrapeLikeUtility(const std::string& page, const std::string& label);

// --- TFTP -----------------------------------------------------------------

struct TftpServerLog {
    bool gotRrq = false;
    std::string rrqFile;
    std::string rrqMode;
    std::map<std::string, std::string> rrqOptions;
    std::string peer;               // "a.b.c.d:port" of the RRQ
    std::vector<unsigned> acks;     // block numbers of every ACK received, in order
    std::vector<unsigned> resends;  // what was resent after an interval: 0 = the OACK, k = DATA k
    unsigned oacksSent = 0;
    bool completed = false;  // the last block was acknowledged
    bool timedOut = false;   // gave up after `intervals` intervals without progress
};

// How long ScriptedTftpServer waits: see there.
struct ScriptedTftpTiming {
    int intervalMs = 1000;
    int intervals = 30;
    int rrqTimeoutMs = 10000;
};

// Serves one image in lock-step, as the utility's transfer does: an OACK with
// tsize and timeout 5, 512-byte DATA blocks, the next block the moment its
// ACK arrives, a resend after `intervalMs` without the expected ACK, failure
// after `intervals` such intervals in a row; ACKs with another number are
// discarded. The interval is longer than the utility's 100 ticks by default,
// so that a loaded machine does not cause resends that a test did not ask for.
// It runs on its own thread from construction until the transfer
// ends or the first RRQ has not come within `rrqTimeoutMs`.
class ScriptedTftpServer {
public:
    ScriptedTftpServer(uint32_t address, std::vector<uint8_t> image, ScriptedTftpTiming timing = {});
    ~ScriptedTftpServer();
    uint16_t port() const { return port_; }
    // Waits for the thread to end and gives what it saw.
    TftpServerLog finish();

private:
    void serve();

    int fd_ = -1;
    uint16_t port_ = 0;
    std::vector<uint8_t> image_;
    int intervalMs_;
    int intervals_;
    int rrqTimeoutMs_;
    TftpServerLog log_;
    std::thread thread_;
};

}  // namespace orb::test
