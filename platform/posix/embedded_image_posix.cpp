#include "platform/embedded_image.h"

// The image is linked into the read-only data of the executable. ORB_IMAGE_PATH
// (a string literal) names the file at build time; the build recompiles this
// file when the image changes.

asm(".section .rodata\n"
    ".balign 16\n"
    ".global orbFirmwareImageStart\n.hidden orbFirmwareImageStart\n"
    "orbFirmwareImageStart:\n"
    ".incbin \"" ORB_IMAGE_PATH
    "\"\n"
    ".global orbFirmwareImageEnd\n.hidden orbFirmwareImageEnd\n"
    "orbFirmwareImageEnd:\n"
    ".previous\n");

extern "C" const uint8_t orbFirmwareImageStart[] asm("orbFirmwareImageStart");
extern "C" const uint8_t orbFirmwareImageEnd[] asm("orbFirmwareImageEnd");

namespace orb {

EmbeddedImage findEmbeddedImage(InstanceHandle) {
    auto size = static_cast<uint32_t>(orbFirmwareImageEnd - orbFirmwareImageStart);
    return EmbeddedImage{size != 0 ? orbFirmwareImageStart : nullptr, size};
}

}  // namespace orb
