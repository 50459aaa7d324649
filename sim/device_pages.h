// What the adapter's web server shows and understands apart from
// authentication: the status page and the upgrade trigger's TFTP URL.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/ipv4_text.h"

namespace orb::sim {

struct DeviceIdentity {
    std::string productName = "ORB4100";
    std::string macAddress = "00:1A:2B:3C:4D:5E";
    std::string softwareVersion = "1.0.2";
    std::string hardwareVersion = "4100-A1";
    std::string serialNumber = "ORB41000001";
    bool showsSoftwareVersion = true;  // false: the page has no "Software Version:" row
};

// The status page "/admin/advanced": a table with one row per value, the label
// in one cell and the value in a bold span in the next, e.g.
// <tr><td>Software Version:</td><td><b>1.0.2</b></td></tr>. Values are written
// as they are, without escaping.
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
