// Start-up of a run: networking, own addresses, credentials, the random
// generator, common controls and the firmware image.
#pragma once

#include <cstdint>

#include "platform/embedded_image.h"
#include "platform/instance.h"

namespace orb {

// Networking, the PC address list, the credentials cleared, the random
// generator seeded from the millisecond clock, common controls, the image. Ends
// the process with an error box when networking cannot start or the executable
// carries no usable image.
void runStartup(InstanceHandle instance);

// A value mixed into the seed (0, the default, leaves the clock's reading as
// it is). Runs started in the same millisecond by one driver give each their
// process id, so that they draw different file names and client nonces.
void setRandomSeedMix(uint32_t mix);
// The seed of a run that starts at `clockMs` with that mix.
uint32_t chooseRandomSeed(uint32_t clockMs, uint32_t mix);

// Fills the PC address list from the own-address lookup: zero-filled first, at
// most 8 entries, each traced. Returns the number of entries.
int collectPcAddresses(uint32_t* list);

// Loads the image into runState and chooses the product display name; a missing
// image, or one shorter than its header, ends the process with an error box.
void loadImageOrFail(const EmbeddedImage& embedded);

}  // namespace orb
