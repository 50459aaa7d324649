#include "sim/device_pages.h"

#include <cctype>

namespace orb::sim {

std::string buildStatusPage(const DeviceIdentity& identity) {
    auto row = [](const char* label, const std::string& value) {
        return std::string("<tr><td>") + label + "</td><td><b>" + value + "</b></td></tr>\n";
    };
    return "<html>\n<head><title>ORB Advanced Status</title></head>\n<body>\n<h1>Advanced Status</h1>\n"
           "<table border=\"1\">\n" +
           row("Product Name:", identity.productName) + row("MAC Address:", identity.macAddress) +
           (identity.showsSoftwareVersion ? row("Software Version:", identity.softwareVersion) : std::string()) +
           row("Hardware Version:", identity.hardwareVersion) + row("Serial Number:", identity.serialNumber) +
           "</table>\n</body>\n</html>\n";
}

std::optional<TftpSource> parseTriggerQuery(const std::string& query, std::string* error) {
    const std::string scheme = "tftp://";
    if (query.compare(0, scheme.size(), scheme) != 0) {
        *error = "the query does not begin with tftp://";
        return std::nullopt;
    }
    size_t hostBegin = scheme.size();
    size_t slash = query.find('/', hostBegin);
    if (slash == std::string::npos) {
        *error = "no file name after the host";
        return std::nullopt;
    }
    std::string hostPort = query.substr(hostBegin, slash - hostBegin);
    TftpSource source;
    size_t colon = hostPort.find(':');
    std::string host = hostPort.substr(0, colon);
    if (colon != std::string::npos) {
        std::string portText = hostPort.substr(colon + 1);
        if (portText.empty() || portText.size() > 5) {
            *error = "bad port";
            return std::nullopt;
        }
        unsigned long port = 0;
        for (char c : portText) {
            if (!std::isdigit(static_cast<unsigned char>(c))) {
                *error = "bad port";
                return std::nullopt;
            }
            port = port * 10 + static_cast<unsigned long>(c - '0');
        }
        if (port == 0 || port > 65535) {
            *error = "bad port";
            return std::nullopt;
        }
        source.port = static_cast<uint16_t>(port);
    }
    if (!parseDottedQuad(host, &source.address)) {
        *error = "the host is not a dotted IPv4 address";
        return std::nullopt;
    }
    source.fileName = query.substr(slash);
    if (source.fileName.size() < 2) {
        *error = "empty file name";
        return std::nullopt;
    }
    return source;
}

}  // namespace orb::sim
