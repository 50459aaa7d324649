// The process-wide state of the one upgrade run.
#pragma once

#include <cstdint>

#include "platform/instance.h"
#include "web/device_info.h"
#include "web/digest_auth_state.h"
#include "upgrade/firmware_image.h"

namespace orb {

inline constexpr int kPcAddressListSize = 8;
inline constexpr int kResponseBufferSize = 131072;
inline constexpr int kResponseLimit = kResponseBufferSize - 1;  // room for the NUL
inline constexpr uint16_t kFirstLocalHttpPort = 23456;
inline constexpr uint16_t kDeviceHttpPort = 80;
inline constexpr const char* kStatusPagePath = "/admin/advanced";
inline constexpr const char* kTriggerPathFormat = "/admin/upgrade?tftp://%s:%u%s";

struct RunState {
    InstanceHandle instance;
    uint32_t pcAddressList[kPcAddressListSize];  // host order; ends at the first 0
    uint32_t pcAddress;
    uint32_t deviceAddress;      // host order; 0 means none
    char deviceAddressText[63];  // as the user typed it
    char tftpFileName[128];
    char productDisplayName[16];
    FirmwareImage firmwareImage;
    DeviceInfo deviceInfo;
    DigestAuthState credentials;
    char responseBuffer[kResponseBufferSize];
};

extern RunState runState;

// Draws the run's TFTP file name, "/orb%x.bin" with the low 16 bits of one
// draw of the generator, into runState.
void drawTftpFileName();

}  // namespace orb
