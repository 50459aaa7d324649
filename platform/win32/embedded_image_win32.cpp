#include <windows.h>

#include "platform/embedded_image.h"

namespace orb {

// The image is resource "ORB_FIRMWARE" 112 of the program's module.
EmbeddedImage findEmbeddedImage(InstanceHandle instance) {
    auto module = static_cast<HMODULE>(instance);
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(112), "ORB_FIRMWARE");
    if (resource == nullptr) return {nullptr, 0};
    DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) return {nullptr, 0};
    return {static_cast<const uint8_t*>(data), static_cast<uint32_t>(size)};
}

}  // namespace orb
