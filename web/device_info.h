// The five values scraped from the adapter's status page (its labels:
// web/status_page_fields.h).
#pragma once

#include <cstddef>

namespace orb {

// Each value's room: at most 127 characters and the NUL.
inline constexpr size_t kDeviceInfoFieldSize = 128;

struct DeviceInfo {
    char productName[kDeviceInfoFieldSize];
    char macAddress[kDeviceInfoFieldSize];
    char softwareVersion[kDeviceInfoFieldSize];
    char hardwareVersion[kDeviceInfoFieldSize];
    char serialNumber[kDeviceInfoFieldSize];
};

}  // namespace orb
