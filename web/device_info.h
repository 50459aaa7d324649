// The five values scraped from the adapter's status page.
#pragma once

namespace orb {

struct DeviceInfo {
    char productName[128];
    char macAddress[128];
    char softwareVersion[128];
    char hardwareVersion[128];
    char serialNumber[128];
};

}  // namespace orb
