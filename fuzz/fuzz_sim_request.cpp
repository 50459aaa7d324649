// orb-sim's reading of what a client sent: parseHttpRequest on any bytes, and
// for a complete request what the simulator then reads out of it: the path,
// the query, the trigger's TFTP URL, the Authorization header's directives and
// their check against a fixed Digest setting.
#include <string>

#include "fuzz/fuzz_support.h"
#include "sim/device_pages.h"
#include "sim/digest_server.h"
#include "sim/http_message.h"

using namespace orb;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string received(reinterpret_cast<const char*>(data), size);
    sim::HttpRequest request;
    std::string error;
    sim::ParseStatus status = sim::parseHttpRequest(received, &request, &error);
    if (status == sim::ParseStatus::Bad) {
        fuzz::require(!error.empty(), "a bad request says why");
        return 0;
    }
    if (status == sim::ParseStatus::Incomplete) {
        fuzz::require(received.size() <= sim::kMaxRequestHead, "an incomplete request stays below the head limit");
        return 0;
    }
    fuzz::require(!request.method.empty() && !request.target.empty(), "a request has a method and a target");
    fuzz::require(request.version.rfind("HTTP/1.", 0) == 0, "a request speaks HTTP/1.x");

    std::string path = request.path();
    std::string query = request.query();
    fuzz::require(path.size() + (query.empty() ? 0 : query.size() + 1) <= request.target.size(),
                  "path and query come from the target");
    std::string triggerError;
    auto source = sim::parseTriggerQuery(query, &triggerError);
    if (source) {
        fuzz::require(source->fileName.size() > 1 && source->fileName[0] == '/', "a trigger names a file");
    }

    if (const std::string* header = request.header("Authorization")) {
        sim::AuthorizationHeader parsed = sim::parseAuthorizationHeader(*header);
        sim::DigestSettings settings;
        settings.user = "admin";
        settings.password = "secret";
        settings.opaque = "5ccc069c403ebaf9f0171e9517f40e41";
        sim::DigestVerdict verdict =
            sim::verifyDigestAuthorization(settings, parsed, {.method = request.method, .target = request.target},
                                           [](const std::string& nonce) {
                                               return nonce == "dcd98b7102dd2f0e8b11d0f600bfb0c093";
                                           });
        fuzz::require(verdict.accepted || !verdict.reason.empty(), "a refusal says why");
    }
    return 0;
}
