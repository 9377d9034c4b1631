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

// Port indices: the four audio ports, one control input per parameter in parameter order, then
// the panel's zoom. New ports only ever go last: sessions and presets of older versions name the
// earlier ones by index as well as by symbol.
enum Lv2Port : std::uint32_t {
  kLv2PortInLeft = 0,
  kLv2PortInRight = 1,
  kLv2PortOutLeft = 2,
  kLv2PortOutRight = 3,
  kLv2PortFirstControl = 4,
};
// One past the last parameter's port.
inline constexpr std::uint32_t kLv2PortParameterEnd =
    kLv2PortFirstControl + static_cast<std::uint32_t>(kDriveParameterCount);

// The zoom the user chose on the panel, in percent; 0 when none was chosen and the panel follows
// the host. A control input only so that hosts keep it in their sessions and presets as they
// keep every control's value: the UI writes and reads it, the sound never depends on it, and
// hosts are told to show and automate it nowhere.
inline constexpr std::uint32_t kLv2PortZoom = kLv2PortParameterEnd;
inline constexpr const char* kLv2ZoomSymbol = "zoom";
inline constexpr const char* kLv2ZoomName = "Panel zoom";
// Its values: 0, or one of the zooms the panel offers (lv2_ui.cpp checks that these are they).
inline constexpr std::int32_t kLv2ZoomFollowHost = 0;
inline constexpr std::int32_t kLv2Zooms[] = {100, 150, 200, 250, 300};

inline constexpr std::uint32_t kLv2PortCount = kLv2PortZoom + 1;
