#include "sim/http_message.h"

#include <cctype>

namespace orb::sim {

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

const std::string* HttpRequest::header(const std::string& name) const {
    for (const auto& [headerName, value] : headers) {
        if (equalsIgnoringCase(headerName, name)) return &value;
    }
    return nullptr;
}

std::string HttpRequest::path() const { return target.substr(0, target.find('?')); }

std::string HttpRequest::query() const {
    size_t mark = target.find('?');
    return mark == std::string::npos ? std::string() : target.substr(mark + 1);
}

namespace {

std::string trimBlanks(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return {};
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

// Splits the head into lines, each without its CR LF or LF.
std::vector<std::string> splitLines(const std::string& head) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at <= head.size()) {
        size_t end = head.find('\n', at);
        if (end == std::string::npos) end = head.size();
        std::string line = head.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

}  // namespace

ParseStatus parseHttpRequest(const std::string& received, HttpRequest* request, std::string* error) {
    // The head ends at the first empty line.
    size_t headEnd = std::string::npos;
    for (size_t at = received.find('\n'); at != std::string::npos; at = received.find('\n', at + 1)) {
        size_t next = at + 1;
        if (next < received.size() && received[next] == '\n') {
            headEnd = at;
            break;
        }
        if (next + 1 < received.size() && received[next] == '\r' && received[next + 1] == '\n') {
            headEnd = at;
            break;
        }
    }
    if (headEnd == std::string::npos) {
        if (received.size() > kMaxRequestHead) {
            *error = "request head longer than " + std::to_string(kMaxRequestHead) + " bytes";
            return ParseStatus::Bad;
        }
        return ParseStatus::Incomplete;
    }
    if (headEnd > kMaxRequestHead) {
        *error = "request head longer than " + std::to_string(kMaxRequestHead) + " bytes";
        return ParseStatus::Bad;
    }

    std::vector<std::string> lines = splitLines(received.substr(0, headEnd));
    // Empty lines before the request line are allowed (RFC 9112 2.2).
    size_t first = 0;
    while (first < lines.size() && lines[first].empty()) ++first;
    if (first == lines.size()) {
        *error = "no request line";
        return ParseStatus::Bad;
    }

    const std::string& requestLine = lines[first];
    size_t space1 = requestLine.find(' ');
    size_t space2 = space1 == std::string::npos ? std::string::npos : requestLine.find(' ', space1 + 1);
    if (space1 == std::string::npos || space2 == std::string::npos ||
        requestLine.find(' ', space2 + 1) != std::string::npos) {
        *error = "request line is not METHOD TARGET VERSION";
        return ParseStatus::Bad;
    }
    HttpRequest parsed;
    parsed.method = requestLine.substr(0, space1);
    parsed.target = requestLine.substr(space1 + 1, space2 - space1 - 1);
    parsed.version = requestLine.substr(space2 + 1);
    if (parsed.method.empty() || parsed.target.empty()) {
        *error = "empty method or target";
        return ParseStatus::Bad;
    }
    if (parsed.version.rfind("HTTP/1.", 0) != 0) {
        *error = "version is not HTTP/1.x";
        return ParseStatus::Bad;
    }

    for (size_t i = first + 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty()) continue;
        if ((line[0] == ' ' || line[0] == '\t') && !parsed.headers.empty()) {
            // An obsolete folded continuation: part of the previous value.
            parsed.headers.back().second += " " + trimBlanks(line);
            continue;
        }
        size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0) {
            *error = "header line without a name and a colon";
            return ParseStatus::Bad;
        }
        parsed.headers.emplace_back(line.substr(0, colon), trimBlanks(line.substr(colon + 1)));
    }
    *request = std::move(parsed);
    return ParseStatus::Complete;
}

const char* httpReasonPhrase(int status) {
    switch (status) {
        case 200: return "OK";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 503: return "Service Unavailable";
        default: return "Unknown";
    }
}

std::string buildHttpResponse(int status, const HeaderList& headers, const std::string& body) {
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + httpReasonPhrase(status) + "\r\n";
    for (const auto& [name, value] : headers) out += name + ": " + value + "\r\n";
    out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    out += "Connection: close\r\n\r\n";
    out += body;
    return out;
}

}  // namespace orb::sim
