#include "sim/device_pages.h"

#include <cctype>

namespace orb::sim {

const std::string& DeviceIdentity::value(StatusField field) const {
    switch (field) {
        case StatusField::ProductName: return productName;
        case StatusField::MacAddress: return macAddress;
        case StatusField::SoftwareVersion: return softwareVersion;
        case StatusField::HardwareVersion: return hardwareVersion;
        case StatusField::SerialNumber: break;
    }
    return serialNumber;
}

std::string buildStatusPage(const DeviceIdentity& identity) {
    std::string page =
        "<html>\n<head><title>ORB Advanced Status</title></head>\n<body>\n<h1>Advanced Status</h1>\n"
        "<table border=\"1\">\n";
    for (const StatusPageField& row : kStatusPageFields) {
        if (row.field == StatusField::SoftwareVersion && !identity.showsSoftwareVersion) continue;
        page += std::string("<tr><td>") + row.label + "</td><td><b>" + identity.value(row.field) + "</b></td></tr>\n";
    }
    return page + "</table>\n</body>\n</html>\n";
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
