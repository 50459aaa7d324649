// Start-up of a run: networking, own addresses, credentials, the random
// generator, common controls and the firmware image.
#pragma once

#include <cstdint>

#include "platform/embedded_image.h"
#include "platform/instance.h"

namespace orb {

// Steps 1-8 of start-up, in order. Ends the process with an error box when
// networking cannot start or the executable carries no usable image.
void runStartup(InstanceHandle instance);

// Fills the PC address list from the own-address lookup: zero-filled first, at
// most 8 entries, each traced. Returns the number of entries.
int collectPcAddresses(uint32_t* list);

// Loads the image into runState and chooses the product display name; a missing
// image, or one shorter than its header, ends the process with an error box.
void loadImageOrFail(const EmbeddedImage& embedded);

}  // namespace orb
