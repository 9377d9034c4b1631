// What LV2 hosts know the plug-in by: its URIs, chosen once and never to change (sessions and
// presets refer to them), the bundle's file names and the order of its ports. The entry code
// and the generator of the bundle's data both read them.
#pragma once

#include <cstdint>

#include "effect/drive_parameters.h"

inline constexpr const char* kLv2PluginUri = "urn:driveeffect:three-band-drive";
inline constexpr const char* kLv2UiUri = "urn:driveeffect:three-band-drive#ui";

inline constexpr const char* kLv2BundleName = "DriveEffect.lv2";
inline constexpr const char* kLv2DataFile = "DriveEffect.ttl";
inline constexpr const char* kLv2DspBinary = "DriveEffect_dsp.so";
inline constexpr const char* kLv2UiBinary = "DriveEffect_ui.so";

// Port indices: the four audio ports, then one control input per parameter in parameter order.
enum Lv2Port : std::uint32_t {
  kLv2PortInLeft = 0,
  kLv2PortInRight = 1,
  kLv2PortOutLeft = 2,
  kLv2PortOutRight = 3,
  kLv2PortFirstControl = 4,
};
inline constexpr std::uint32_t kLv2PortCount =
    kLv2PortFirstControl + static_cast<std::uint32_t>(kDriveParameterCount);
