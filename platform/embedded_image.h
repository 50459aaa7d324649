// The firmware image carried inside the executable.
#pragma once

#include <cstdint>

#include "platform/instance.h"

namespace orb {

struct EmbeddedImage {
    const uint8_t* data;  // nullptr when the executable carries no image
    uint32_t size;
};

// Windows: resource "ORB_FIRMWARE" 112 of the module; elsewhere: bytes linked
// into the executable. Nothing is copied.
EmbeddedImage findEmbeddedImage(InstanceHandle instance);

}  // namespace orb
