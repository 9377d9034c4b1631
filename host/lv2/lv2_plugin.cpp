// The LV2 plug-in: the same DriveEffect object the VST 2 plug-in hands to hosts, run through
// LV2's port buffers. Each run() is one processReplacing block, with the four parameters' control
// inputs set just before it, as a VST 2 host sets them between blocks.
#include <lv2/core/lv2.h>

#include <cstdint>
#include <new>

#include "effect/drive_effect.h"
#include "host/lv2/lv2_bundle.h"

namespace {

struct Lv2DriveInstance {
  Lv2DriveInstance() : effect(nullptr) {}

  DriveEffect effect;
  const float* audioIn[2] = {nullptr, nullptr};
  float* audioOut[2] = {nullptr, nullptr};
  const float* controls[kDriveParameterCount] = {};
};

LV2_Handle instantiate(const LV2_Descriptor* /*descriptor*/, double sampleRate,
                       const char* /*bundlePath*/,
                       const LV2_Feature* const* /*features*/) noexcept {
  auto* instance = new (std::nothrow) Lv2DriveInstance;
  if (instance != nullptr) {
    instance->effect.setSampleRate(static_cast<float>(sampleRate));
  }
  return instance;
}

// LV2 hosts activate an instance before its first run and again after every deactivation, and
// expect it to start from rest each time (a VST 2 effect has no such moment: its filters carry
// on for its whole life). A fresh effect is at rest, so the first activation changes nothing.
// Not a real-time call: the effect's program table may be allocated here.
void activate(LV2_Handle handle) noexcept {
  auto* instance = static_cast<Lv2DriveInstance*>(handle);
  const float sampleRate = instance->effect.getSampleRate();
  instance->effect.~DriveEffect();
  new (&instance->effect) DriveEffect(nullptr);
  instance->effect.setSampleRate(sampleRate);
}

void connectPort(LV2_Handle handle, std::uint32_t port, void* data) noexcept {
  auto* instance = static_cast<Lv2DriveInstance*>(handle);
  switch (port) {
    case kLv2PortInLeft:
    case kLv2PortInRight:
      instance->audioIn[port - kLv2PortInLeft] = static_cast<const float*>(data);
      break;
    case kLv2PortOutLeft:
    case kLv2PortOutRight:
      instance->audioOut[port - kLv2PortOutLeft] = static_cast<float*>(data);
      break;
    case kLv2PortZoom:
      // The panel's zoom, kept by the host for the UI: nothing of the sound reads it.
      break;
    default:
      if (port >= kLv2PortFirstControl && port < kLv2PortParameterEnd) {
        instance->controls[port - kLv2PortFirstControl] = static_cast<const float*>(data);
      }
      break;
  }
}

void run(LV2_Handle handle, std::uint32_t sampleCount) noexcept {
  auto* instance = static_cast<Lv2DriveInstance*>(handle);
  for (std::int32_t i = 0; i < kDriveParameterCount; ++i) {
    // A control the host left unconnected keeps the value it had.
    if (const float* control = instance->controls[i]) {
      instance->effect.setParameter(i, *control);
    }
  }
  if (instance->audioIn[0] == nullptr || instance->audioIn[1] == nullptr ||
      instance->audioOut[0] == nullptr || instance->audioOut[1] == nullptr) {
    return;
  }
  // The effect reads its buffers through VST 2's non-const pointers; it never writes inputs.
  float* inputs[2] = {const_cast<float*>(instance->audioIn[0]),
                      const_cast<float*>(instance->audioIn[1])};
  float* outputs[2] = {instance->audioOut[0], instance->audioOut[1]};
  // LV2 counts frames unsigned; the effect takes a signed block. Longer runs go as several
  // blocks with the same parameters, which gives the same output as one.
  constexpr std::uint32_t kLongestBlock = 1u << 30;
  while (sampleCount > 0) {
    const std::uint32_t frames = sampleCount < kLongestBlock ? sampleCount : kLongestBlock;
    instance->effect.processReplacing(inputs, outputs, static_cast<std::int32_t>(frames));
    sampleCount -= frames;
    for (int channel = 0; channel < 2; ++channel) {
      inputs[channel] += frames;
      outputs[channel] += frames;
    }
  }
}

void cleanup(LV2_Handle handle) noexcept {
  delete static_cast<Lv2DriveInstance*>(handle);
}

const void* extensionData(const char* /*uri*/) noexcept {
  return nullptr;
}

const LV2_Descriptor kDescriptor = {
    .URI = kLv2PluginUri,
    .instantiate = instantiate,
    .connect_port = connectPort,
    .activate = activate,
    .run = run,
    // Nothing is held between runs, and activate starts the effect afresh anyway.
    .deactivate = nullptr,
    .cleanup = cleanup,
    .extension_data = extensionData,
};

}  // namespace

// lv2.h declares it without noexcept, so it stays so here; it cannot throw.
LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
