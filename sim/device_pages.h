// What the adapter's web server shows and understands apart from
// authentication: the status page and the upgrade trigger's TFTP URL.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/ipv4_text.h"
#include "web/status_page_fields.h"

namespace orb::sim {

// The values of the status page; each field's default is its simDefault in
// web/status_page_fields.h.
struct DeviceIdentity {
    std::string productName = statusPageField(StatusField::ProductName).simDefault;
    std::string macAddress = statusPageField(StatusField::MacAddress).simDefault;
    std::string softwareVersion = statusPageField(StatusField::SoftwareVersion).simDefault;
    std::string hardwareVersion = statusPageField(StatusField::HardwareVersion).simDefault;
    std::string serialNumber = statusPageField(StatusField::SerialNumber).simDefault;
    bool showsSoftwareVersion = true;  // false: the page has no row of the software version

    const std::string& value(StatusField field) const;
};

// The status page "/admin/advanced": a table with one row per field of
// web/status_page_fields.h, in its order, the label in one cell and the value in
// a bold span in the next, e.g. <tr><td>Software Version:</td><td><b>1.0.2</b></td></tr>.
// Values are written as they are, without escaping.
std::string buildStatusPage(const DeviceIdentity& identity);

inline constexpr const char* kStatusPath = "/admin/advanced";
inline constexpr const char* kTriggerPath = "/admin/upgrade";

struct TftpSource {
    uint32_t address = 0;  // host order
    uint16_t port = 69;
    std::string fileName;  // from the "/" after the host or port, inclusive
};

// Reads the query of the trigger, "tftp://a.b.c.d[:port]/name". The host must
// be a dotted IPv4 address; the port defaults to 69; the name runs from the
// first "/" after the host to the end and must hold more than the "/".
std::optional<TftpSource> parseTriggerQuery(const std::string& query, std::string* error);

}  // namespace orb::sim
