// The simulator's side of HTTP/1.1: reading one request from what a
// connection has sent so far, and writing one response.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace orb::sim {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method;
    std::string target;   // the request target as sent, query included
    std::string version;  // "HTTP/1.1"
    HeaderList headers;   // names as sent; values without the surrounding blanks

    // The value of the first header of that name (letter case ignored), or
    // nullptr.
    const std::string* header(const std::string& name) const;
    // The target up to the first "?".
    std::string path() const;
    // The target after the first "?", empty when there is none.
    std::string query() const;
};

enum class ParseStatus { Incomplete, Complete, Bad };

// The largest request head that the simulator reads; a longer one is Bad.
inline constexpr size_t kMaxRequestHead = 16384;

// Reads the request line and the headers once the empty line that ends them
// has arrived (CR LF CR LF, or bare LF LF). A request body is not read: every
// request that the adapter knows is a GET without one. On Bad, `error` says
// why.
ParseStatus parseHttpRequest(const std::string& received, HttpRequest* request, std::string* error);

// "HTTP/1.1 <status> <reason>", the given headers, Content-Length,
// Connection: close, the empty line and the body.
std::string buildHttpResponse(int status, const HeaderList& headers, const std::string& body);
const char* httpReasonPhrase(int status);

bool equalsIgnoringCase(const std::string& a, const std::string& b);

}  // namespace orb::sim
