// The adapter's status page, field by field: one row per value of DeviceInfo
// with all that the programs know of it. The scraper, the confirmation dialog
// (its controls: upgrade/dialog_ids.h), the unattended `status` event, orb-sim's
// page and the tests' pages all read this table; a new field is a row here, its
// DeviceInfo member and its control.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "web/device_info.h"

namespace orb {

// The rows' names, in the table's order.
enum class StatusField { ProductName, MacAddress, SoftwareVersion, HardwareVersion, SerialNumber };

struct StatusPageField {
    StatusField field;
    const char* label;                                // as the page writes it, colon included
    char (DeviceInfo::*value)[kDeviceInfoFieldSize];  // where the value after the label is scraped to
    const char* eventName;                            // its name in the unattended `status` event
    const char* simDefault;                           // orb-sim's value when no option gives one
};

// In the order the adapter's page lists them.
inline constexpr std::array<StatusPageField, 5> kStatusPageFields = {{
    {StatusField::ProductName, "Product Name:", &DeviceInfo::productName, "product", "ORB4100"},
    {StatusField::MacAddress, "MAC Address:", &DeviceInfo::macAddress, "mac", "00:1A:2B:3C:4D:5E"},
    {StatusField::SoftwareVersion, "Software Version:", &DeviceInfo::softwareVersion, "software", "1.0.2"},
    {StatusField::HardwareVersion, "Hardware Version:", &DeviceInfo::hardwareVersion, "hardware", "4100-A1"},
    {StatusField::SerialNumber, "Serial Number:", &DeviceInfo::serialNumber, "serial", "ORB41000001"},
}};

// The confirmation dialog's order, top to bottom: the unattended `status`
// event names every field, in this order too.
inline constexpr std::array<StatusField, 5> kConfirmationOrder = {StatusField::SerialNumber, StatusField::MacAddress,
                                                                  StatusField::SoftwareVersion,
                                                                  StatusField::HardwareVersion,
                                                                  StatusField::ProductName};

// Each row stands at its name's place with its label's colon, and the dialog
// shows every row once.
static_assert([] {
    std::array<int, kStatusPageFields.size()> shown{};
    for (StatusField field : kConfirmationOrder) ++shown[static_cast<size_t>(field)];
    for (size_t i = 0; i < kStatusPageFields.size(); ++i) {
        std::string_view label = kStatusPageFields[i].label;
        if (static_cast<size_t>(kStatusPageFields[i].field) != i || !label.ends_with(':') || shown[i] != 1)
            return false;
    }
    return true;
}());

constexpr const StatusPageField& statusPageField(StatusField field) {
    return kStatusPageFields[static_cast<size_t>(field)];
}

// The label without its colon: the dialog's caption and the name in the
// `status` event's text.
constexpr std::string_view statusFieldCaption(const StatusPageField& row) {
    std::string_view label = row.label;
    return label.substr(0, label.size() - 1);
}

// The field's value in `info`.
constexpr const char* statusFieldValue(const DeviceInfo& info, const StatusPageField& row) { return info.*row.value; }

}  // namespace orb
