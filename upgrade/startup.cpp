#include "upgrade/startup.h"

#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/embedded_image.h"
#include "platform/own_addresses.h"
#include "platform/sockets.h"
#include "platform/windowing.h"
#include "base/random.h"
#include "base/trace.h"
#include "upgrade/error_box.h"
#include "upgrade/run_state.h"

namespace orb {

int collectPcAddresses(uint32_t* list) {
    std::memset(list, 0, sizeof(uint32_t) * kPcAddressListSize);
    uint32_t found[kPcAddressListSize] = {};
    int count = listOwnAddresses(found, kPcAddressListSize);
    int kept = 0;
    // The list ends at its first 0, so a 0 from the lookup ends it too.
    for (int i = 0; i < count && i < kPcAddressListSize && found[i] != 0; ++i) {
        list[kept++] = found[i];
        trace("Client IP = %x\n", found[i]);
    }
    return kept;
}

static uint32_t randomSeedMix = 0;

void setRandomSeedMix(uint32_t mix) { randomSeedMix = mix; }

// An odd multiplier spreads consecutive process ids over the seed's bits.
uint32_t chooseRandomSeed(uint32_t clockMs, uint32_t mix) { return clockMs + mix * 2654435761u; }

void runStartup(InstanceHandle instance) {
    runState.instance = instance;
    if (!startNetworking()) failRun(RunOutcome::WinsockInitError);
    collectPcAddresses(runState.pcAddressList);
    std::memset(&runState.credentials, 0, sizeof runState.credentials);
    runState.pcAddress = runState.pcAddressList[0];
    seedRandom(chooseRandomSeed(readMilliseconds(), randomSeedMix));
    initCommonControls();

    loadImageOrFail(findEmbeddedImage(instance));
}

void loadImageOrFail(const EmbeddedImage& embedded) {
    switch (loadFirmwareImage(embedded, &runState.firmwareImage)) {
        case ImageLoadResult::Loaded: break;
        case ImageLoadResult::Missing: failRun(RunOutcome::NoFirmwareImage);
        case ImageLoadResult::TooShort: failRun(RunOutcome::FirmwareImageTooShort);
    }
    std::snprintf(runState.productDisplayName, sizeof runState.productDisplayName, "%s",
                  chooseProductDisplayName(runState.firmwareImage.header));
}

}  // namespace orb
