// The library's single entry point. Hosts look it up as `main` (older hosts) or VSTPluginMain.
#include "host/vst2/aeffect.h"
#include "host/vst2/drive_effect_with_editor.h"

#if defined(_WIN32)
#define DRIVE_EXPORT
#else
#define DRIVE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" DRIVE_EXPORT AEffect* VSTPluginMain(HostCallback hostCallback) noexcept {
  // Without a callback there is no host to ask, and nothing to create.
  if (hostCallback == nullptr) {
    return nullptr;
  }
  if (hostCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
    return nullptr;
  }
  EffectBase* effect = createDriveEffect(hostCallback);
  return effect != nullptr ? effect->getDescriptor() : nullptr;
}
